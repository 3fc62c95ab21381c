#include "StudioApi.hpp"

#include "Wav.hpp"

#include <charconv>
#include <vector>

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
        storage(exchange);
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

    struct Route {
        const char* name;
        const char* method;
        const char* prefix;
        const char* suffix;
    };
    static constexpr Route routes[] = {
        {"convert_wav", "POST", "/api/gen/", "/convert_wav/"},
        {"wav_file", "GET", "/api/gen/", "/wav_file/"},
        {"download_clip", "GET", "/api/download/clip/", ""},
        {"billing_download", "POST", "/api/billing/clips/", "/download/"},
    };
    std::string route, id, wantedMethod;
    if (exchange.path() == "/api/feed/v3" || exchange.path() == "/api/feed/v3/") {
        route = "feed";
        wantedMethod = "POST";
    } else {
        for (const auto& candidate : routes) {
            if (const auto found = exchange.between(candidate.prefix, candidate.suffix)) {
                route = candidate.name;
                wantedMethod = candidate.method;
                id = *found;
                break;
            }
        }
    }
    if (route.empty()) {
        world_.counters.count("not_found");
        exchange.sendJson(SOUP_STATUS_NOT_FOUND, detail("Not Found"));
        return;
    }

    world_.counters.count(route, id);
    if (exchange.method() != wantedMethod) {
        exchange.addHeader("Allow", wantedMethod);
        exchange.sendJson(SOUP_STATUS_METHOD_NOT_ALLOWED, detail("Method Not Allowed"));
        return;
    }
    if (!authorised(exchange)) {
        world_.counters.count("unauthorized");
        exchange.sendJson(SOUP_STATUS_UNAUTHORIZED, detail("Unauthorized"));
        return;
    }
    if (route == "feed") {
        feed(exchange);
        return;
    }

    const auto* clip = world_.catalogue.find(id);
    if (!clip) {
        exchange.sendJson(SOUP_STATUS_NOT_FOUND, detail("Clip not found"));
        return;
    }
    if (route == "convert_wav") {
        convertWav(exchange, *clip);
    } else if (route == "wav_file") {
        wavFile(exchange, *clip);
    } else {
        // Either prod route hurries a slow conversion along.
        world_.conversions.prod(*clip);
        if (route == "download_clip")
            exchange.sendJson(SOUP_STATUS_OK, {{"id", clip->id}, {"status", "preparing"}});
        else
            exchange.sendJson(SOUP_STATUS_OK, {{"id", clip->id}, {"ok", true}});
    }
}

void StudioApi::feed(Exchange& exchange) {
    nlohmann::json body = nlohmann::json::parse(exchange.body(), nullptr, false);
    if (!body.is_object()) {
        exchange.sendJson(SOUP_STATUS_BAD_REQUEST, detail("Expected a JSON object"));
        return;
    }
    const long call = ++world_.feedCalls;
    world_.counters.feedBody(body);
    for (const auto& rule : world_.options.feedStatus) {
        if (rule.calls.contains(call)) {
            const char* reason = soup_status_get_phrase(rule.status);
            exchange.sendJson(rule.status, detail(reason ? reason : "Injected failure"));
            return;
        }
    }

    const auto& clips = world_.catalogue.clips();
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
        offset = std::min(clips.size(), page->get<std::size_t>() *
                                            static_cast<std::size_t>(world_.options.pageSize));
    }

    const auto end =
        std::min(clips.size(), offset + static_cast<std::size_t>(world_.options.pageSize));
    nlohmann::json items = nlohmann::json::array();
    for (auto i = offset; i < end; ++i)
        items.push_back(clips[i].feed);
    bool hasMore = end < clips.size();
    nlohmann::json next = hasMore ? nlohmann::json(encodeCursor(end)) : nlohmann::json();
    if (world_.options.dropCursor.contains(call)) {
        hasMore = true;
        next = nullptr;
    }
    exchange.sendJson(
        SOUP_STATUS_OK,
        {{"clips", std::move(items)}, {"next_cursor", std::move(next)}, {"has_more", hasMore}});
}

void StudioApi::convertWav(Exchange& exchange, const CatalogueClip& clip) {
    world_.conversions.request(clip);
    const bool ready = world_.conversions.state(clip) == Conversions::State::ready;
    exchange.sendJson(SOUP_STATUS_OK,
                      {{"id", clip.id}, {"status", ready ? "complete" : "processing"}});
}

void StudioApi::wavFile(Exchange& exchange, const CatalogueClip& clip) {
    switch (world_.conversions.state(clip)) {
    case Conversions::State::ready: {
        GCharRef escaped(g_uri_escape_string(clip.id.c_str(), nullptr, FALSE));
        exchange.sendJson(SOUP_STATUS_OK, {{"wav_file_url", world_.apiOrigin + "/storage/wav/" +
                                                                escaped.get() + ".wav"}});
        break;
    }
    case Conversions::State::converting:
        exchange.sendJson(SOUP_STATUS_OK, {{"status", "processing"}});
        break;
    case Conversions::State::notRequested:
        exchange.sendJson(SOUP_STATUS_OK, {{"status", "not_started"}});
        break;
    }
}

void StudioApi::storage(Exchange& exchange) {
    // Storage needs no credentials; it serves a file once its conversion is done.
    const auto id = exchange.between("/storage/wav/", ".wav").value_or("");
    world_.counters.count("wav", id);
    const auto* clip = world_.catalogue.find(id);
    if (!clip || (exchange.method() != "GET" && exchange.method() != "HEAD") ||
        world_.conversions.state(*clip) != Conversions::State::ready) {
        Wav::respond(exchange.message(), 0, WavFault::notFound);
        return;
    }
    const long request = ++world_.wavRequests[id];
    Wav::respond(exchange.message(), Wav::dataBytes(world_.conversions.wavSeconds(*clip)),
                 wavFault(id, request));
}

bool StudioApi::authorised(const Exchange& exchange) const {
    const auto header = exchange.header("Authorization");
    constexpr std::string_view scheme = "Bearer ";
    return header && header->starts_with(scheme) &&
           world_.accounts.tokenValid(header->substr(scheme.size()));
}

std::optional<WavFault> StudioApi::wavFault(const std::string& id, long request) const {
    for (const auto& rule : world_.options.wavFaults)
        if (rule.clips.contains(id) && (!rule.times || request <= *rule.times))
            return rule.kind;
    return std::nullopt;
}
