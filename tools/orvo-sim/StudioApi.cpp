#include "StudioApi.hpp"

#include <algorithm>
#include <charconv>
#include <cstdint>

namespace {

// Cursors are opaque to the client: base64 of the offset they continue at.
std::string encodeCursor(std::size_t offset) {
    const auto plain = "orvo-feed:" + std::to_string(offset);
    GCharRef encoded(g_base64_encode(reinterpret_cast<const guchar*>(plain.data()), plain.size()));
    return encoded.get();
}

std::optional<std::size_t> decodeCursor(const std::string& cursor, std::size_t total) {
    if (cursor.empty() ||
        cursor.find_first_not_of(
            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=") !=
            std::string::npos)
        return std::nullopt;
    gsize length = 0;
    GCharRef decoded(reinterpret_cast<char*>(g_base64_decode(cursor.c_str(), &length)));
    const std::string_view plain(decoded.get(), length);
    constexpr std::string_view prefix = "orvo-feed:";
    if (!plain.starts_with(prefix))
        return std::nullopt;
    std::size_t offset = 0;
    const auto digits = plain.substr(prefix.size());
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), offset);
    if (error != std::errc() || end != digits.data() + digits.size() || offset > total)
        return std::nullopt;
    return offset;
}

nlohmann::json detail(const char* text) {
    return {{"detail", text}};
}

} // namespace

void StudioApi::handle(Exchange& exchange) {
    if (exchange.path().starts_with("/storage/")) {
        storage_.serveAddress(exchange);
        return;
    }

    // The page calls from the web site's origin with Authorization and
    // Content-Type, so every answer (errors too) carries CORS for it.
    if (exchange.header("Origin") == world_.webOrigin) {
        exchange.addHeader("Access-Control-Allow-Origin", world_.webOrigin);
        exchange.addHeader("Vary", "Origin");
    }
    if (exchange.method() == "OPTIONS") {
        world_.counters.count("preflight");
        exchange.addHeader("Access-Control-Allow-Methods", "GET, POST, OPTIONS");
        exchange.addHeader("Access-Control-Allow-Headers", "Authorization, Content-Type");
        exchange.addHeader("Access-Control-Max-Age", "600");
        exchange.send(SOUP_STATUS_NO_CONTENT, "text/plain", "");
        return;
    }

    // Each route as the service names it: one method, the exact path with
    // its trailing slash as written, and whether the body is declared JSON.
    struct Route {
        const char* name;
        const char* method;
        const char* prefix;
        const char* suffix; // after the clip id; none: the path has no id
        bool json;
    };
    static constexpr Route routes[] = {
        {"feed", "POST", "/api/feed/v3", nullptr, true},
        {"convert_wav", "POST", "/api/gen/", "/convert_wav/", false},
        {"wav_file", "GET", "/api/gen/", "/wav_file/", false},
        {"download_clip", "GET", "/api/download/clip/", "", false},
        {"billing_download", "POST", "/api/billing/clips/", "/download/", true},
    };
    const Route* route = nullptr;
    std::string id;
    for (const auto& candidate : routes) {
        if (!candidate.suffix) {
            if (exchange.path() == candidate.prefix) {
                route = &candidate;
                break;
            }
        } else if (const auto found = exchange.between(candidate.prefix, candidate.suffix)) {
            route = &candidate;
            id = *found;
            break;
        }
    }
    // The prod's GET exists only as the MP3 download.
    if (!route ||
        (route->name == std::string_view("download_clip") && exchange.query("format") != "mp3")) {
        world_.counters.count("not_found");
        exchange.sendJson(SOUP_STATUS_NOT_FOUND, detail("Not Found"));
        return;
    }
    if (exchange.method() != route->method) {
        world_.counters.count("method_not_allowed");
        exchange.addHeader("Allow", route->method);
        exchange.sendJson(SOUP_STATUS_METHOD_NOT_ALLOWED, detail("Method Not Allowed"));
        return;
    }
    if (!authorised(exchange)) {
        world_.counters.count("unauthorized");
        exchange.sendJson(SOUP_STATUS_UNAUTHORIZED, detail("Unauthorized"));
        return;
    }
    if (route->json && exchange.contentType() != "application/json") {
        world_.counters.count("unsupported_media_type");
        exchange.sendJson(SOUP_STATUS_UNSUPPORTED_MEDIA_TYPE, detail("Unsupported Media Type"));
        return;
    }
    if (route->suffix)
        clipRoute(exchange, route->name, id);
    else
        feed(exchange);
}

void StudioApi::feed(Exchange& exchange) {
    world_.counters.count("feed");
    nlohmann::json body = nlohmann::json::parse(exchange.body(), nullptr, false);
    if (!body.is_object()) {
        exchange.sendJson(SOUP_STATUS_BAD_REQUEST, detail("Expected a JSON object"));
        return;
    }
    const long call = ++world_.feedCalls;
    world_.counters.feedBody(body);
    std::optional<ApiFault> fault;
    for (const auto& rule : world_.options.feedFaults)
        if (!fault && rule.calls.contains(call))
            fault = rule.fault;
    if (answeredByFault(exchange, fault))
        return;

    const auto& clips = world_.catalogue.clips();
    const std::size_t pageSize = static_cast<std::size_t>(world_.options.pageSize);
    std::size_t offset = 0;
    if (const auto cursor = body.find("cursor"); cursor != body.end() && !cursor->is_null()) {
        const auto decoded = cursor->is_string()
                                 ? decodeCursor(cursor->get<std::string>(), clips.size())
                                 : std::nullopt;
        if (!decoded) {
            exchange.sendJson(SOUP_STATUS_BAD_REQUEST, detail("Invalid cursor"));
            return;
        }
        offset = *decoded;
    } else if (const auto page = body.find("page"); page != body.end()) {
        if (!page->is_number_unsigned()) {
            exchange.sendJson(SOUP_STATUS_BAD_REQUEST, detail("Invalid page"));
            return;
        }
        // Past the last page without multiplying a huge page number.
        const auto number = page->get<std::uint64_t>();
        offset = number >= (clips.size() + pageSize - 1) / pageSize
                     ? clips.size()
                     : static_cast<std::size_t>(number) * pageSize;
    }

    const auto end = std::min(clips.size(), offset + pageSize);
    nlohmann::json items = nlohmann::json::array();
    for (auto i = offset; i < end; ++i)
        items.push_back(clips[i].feed);
    bool hasMore = end < clips.size();
    nlohmann::json next = hasMore ? nlohmann::json(encodeCursor(end)) : nlohmann::json();
    if (world_.options.repeatCursor.contains(call)) {
        hasMore = true;
        next = encodeCursor(offset);
    }
    if (world_.options.dropCursor.contains(call)) {
        hasMore = true;
        next = nullptr;
    }
    exchange.sendJson(
        SOUP_STATUS_OK,
        {{"clips", std::move(items)}, {"next_cursor", std::move(next)}, {"has_more", hasMore}});
    if (fault) // only a slow one gets this far
        exchange.delay(world_.options.answerDelay);
}

void StudioApi::clipRoute(Exchange& exchange, const std::string& route, const std::string& id) {
    const auto* clip = world_.catalogue.find(id);
    // Per-clip counts only for clips that exist, so made-up ids cannot grow them.
    world_.counters.count(route, clip ? id : "");
    if (!clip) {
        exchange.sendJson(SOUP_STATUS_NOT_FOUND, detail("Clip not found"));
        return;
    }
    const auto fault = clipFault(route, *clip);
    if (answeredByFault(exchange, fault))
        return;

    auto& conversions = world_.conversions;
    if (route == "convert_wav") {
        conversions.request(*clip);
        const bool ready = conversions.state(*clip) == Conversions::State::ready;
        exchange.sendJson(SOUP_STATUS_OK,
                          {{"id", clip->id}, {"status", ready ? "complete" : "processing"}});
    } else if (route == "wav_file") {
        switch (conversions.state(*clip)) {
        case Conversions::State::ready:
            exchange.sendJson(SOUP_STATUS_OK, {{"wav_file_url", storage_.address(*clip)}});
            break;
        case Conversions::State::converting:
            exchange.sendJson(SOUP_STATUS_OK, {{"status", "processing"}});
            break;
        case Conversions::State::notRequested:
            exchange.sendJson(SOUP_STATUS_OK, {{"status", "not_started"}});
            break;
        }
    } else {
        // Either prod route hurries a slow conversion along.
        conversions.prod(*clip);
        if (route == "download_clip")
            exchange.sendJson(SOUP_STATUS_OK, {{"id", clip->id}, {"status", "preparing"}});
        else
            exchange.sendJson(SOUP_STATUS_OK, {{"id", clip->id}, {"ok", true}});
    }
    if (fault) // only a slow one gets this far
        exchange.delay(world_.options.answerDelay);
}

bool StudioApi::authorised(const Exchange& exchange) const {
    const auto header = exchange.header("Authorization");
    constexpr std::string_view scheme = "Bearer ";
    return header && header->starts_with(scheme) &&
           world_.accounts.tokenValid(header->substr(scheme.size()));
}

std::optional<ApiFault> StudioApi::clipFault(const std::string& route, const CatalogueClip& clip) {
    const long call = ++world_.clipCalls[route][clip.id];
    // The command line wins over the catalogue.
    for (const auto& rule : world_.options.apiFaults)
        if (rule.route == route && rule.clips.contains(clip.id) &&
            (!rule.times || call <= *rule.times))
            return rule.fault;
    if (const auto found = clip.apiFaults.find(route);
        found != clip.apiFaults.end() && (!found->second.second || call <= *found->second.second))
        return found->second.first;
    return std::nullopt;
}

bool StudioApi::answeredByFault(Exchange& exchange, const std::optional<ApiFault>& fault) {
    if (!fault)
        return false;
    switch (fault->kind) {
    case ApiFault::Kind::status: {
        if (fault->status == 429)
            exchange.addHeader("Retry-After", "2");
        exchange.sendJson(fault->status,
                          detail(fault->status == 429 ? "Too Many Requests"
                                                      : soup_status_get_phrase(fault->status)));
        return true;
    }
    case ApiFault::Kind::notJson:
        // What a gateway or bot check in front of the API shows instead.
        exchange.sendHtml(SOUP_STATUS_OK,
                          "<!DOCTYPE html>\n<html><head><title>Just a moment...</title></head>"
                          "<body><p>Checking your browser before accessing the site.</p>"
                          "</body></html>\n");
        return true;
    case ApiFault::Kind::drop:
        exchange.drop();
        return true;
    case ApiFault::Kind::slow:
        return false;
    }
    return false;
}
