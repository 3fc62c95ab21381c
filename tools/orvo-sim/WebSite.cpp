#include "WebSite.hpp"

#include "WebAssets.hpp"

#include <map>

namespace {

constexpr const char* cookieName = "__session";
constexpr int cookieSeconds = 30 * 24 * 3600;
constexpr const char* providerEmail = "demo@orbit.example";

// Fills {{name}} places; values are inserted as given (escape them first).
std::string fill(std::string_view page, const std::map<std::string, std::string>& values) {
    std::string out;
    out.reserve(page.size());
    std::size_t at = 0;
    for (;;) {
        const auto open = page.find("{{", at);
        const auto close = open == std::string_view::npos ? open : page.find("}}", open);
        if (close == std::string_view::npos) {
            out.append(page.substr(at));
            return out;
        }
        out.append(page.substr(at, open - at));
        const auto found = values.find(std::string(page.substr(open + 2, close - open - 2)));
        if (found != values.end())
            out.append(found->second);
        at = close + 2;
    }
}

void setSessionCookie(Exchange& exchange, const std::string& session) {
    exchange.addHeader("Set-Cookie", std::string(cookieName) + "=" + session +
                                         "; Path=/; Max-Age=" + std::to_string(cookieSeconds) +
                                         "; HttpOnly; SameSite=Lax");
}

void clearSessionCookie(Exchange& exchange) {
    exchange.addHeader("Set-Cookie",
                       std::string(cookieName) + "=; Path=/; Max-Age=0; HttpOnly; SameSite=Lax");
}

std::map<std::string, std::string> formFields(const std::string& body) {
    std::map<std::string, std::string> fields;
    GHashTable* table = soup_form_decode(body.c_str());
    GHashTableIter iter;
    gpointer key, value;
    g_hash_table_iter_init(&iter, table);
    while (g_hash_table_iter_next(&iter, &key, &value))
        fields[static_cast<const char*>(key)] = static_cast<const char*>(value);
    g_hash_table_unref(table);
    return fields;
}

std::string trimmed(std::string text) {
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

} // namespace

void WebSite::handle(Exchange& exchange) {
    const auto& path = exchange.path();
    const auto& method = exchange.method();
    auto& counters = world_.counters;

    if (path == "/" && (method == "GET" || method == "HEAD")) {
        counters.count("home");
        // A cookie whose session the service has ended.
        const auto cookie = exchange.cookie(cookieName);
        if (world_.options.signInRedirect && cookie && world_.accounts.wasEnded(*cookie)) {
            exchange.redirect(world_.storageOrigin + "/accounts/sign-in");
            return;
        }
        // As if the form had been sent the moment the page opened.
        if (const auto& email = world_.options.signInOnLoad; email && !session(exchange)) {
            counters.count("sign_in");
            setSessionCookie(exchange, world_.accounts.signIn(*email));
            exchange.redirect("/");
            return;
        }
        home(exchange, SOUP_STATUS_OK, {});
    } else if (path == "/sign-in" && method == "POST") {
        counters.count("sign_in");
        signIn(exchange);
    } else if (path == "/sign-out") {
        counters.count("sign_out");
        if (const auto current = session(exchange))
            world_.accounts.signOut(*current);
        clearSessionCookie(exchange);
        exchange.redirect("/");
    } else if (path == "/clerk.js") {
        counters.count("clerk_js");
        exchange.send(SOUP_STATUS_OK, "text/javascript; charset=utf-8", WebAssets::clerk);
    } else if (path == "/assets/site.css") {
        exchange.send(SOUP_STATUS_OK, "text/css; charset=utf-8", WebAssets::site);
    } else if (path == "/auth/session") {
        counters.count("session");
        const auto current = session(exchange);
        if (!current) {
            exchange.sendJson(SOUP_STATUS_OK, {{"signedIn", false}});
            return;
        }
        exchange.sendJson(SOUP_STATUS_OK,
                          {{"signedIn", true},
                           {"sessionId", *current},
                           {"user", {{"email", *world_.accounts.emailOf(*current)}}}});
    } else if (path == "/auth/token" && method == "POST") {
        counters.count("token");
        const auto current = session(exchange);
        const auto token = current ? world_.accounts.issueToken(*current) : std::nullopt;
        if (!token) {
            exchange.sendJson(SOUP_STATUS_UNAUTHORIZED, {{"error", "signed_out"}});
            return;
        }
        exchange.sendJson(SOUP_STATUS_OK,
                          {{"jwt", *token}, {"expires_in", world_.accounts.tokenLifetime()}});
    } else if (path == "/auth/sign-out" && method == "POST") {
        counters.count("sign_out");
        if (const auto current = session(exchange))
            world_.accounts.signOut(*current);
        clearSessionCookie(exchange);
        exchange.sendJson(SOUP_STATUS_OK, {{"signedIn", false}});
    } else if (path == "/oauth/authorize") {
        counters.count("provider");
        provider(exchange);
    } else if (path == "/oauth/complete" && method == "POST") {
        counters.count("provider_sign_in");
        setSessionCookie(exchange, world_.accounts.signIn(providerEmail));
        exchange.sendJson(SOUP_STATUS_OK, {{"signedIn", true}});
    } else if (const auto id = exchange.between("/song/", "")) {
        counters.count("song", *id);
        song(exchange, *id);
    } else {
        counters.count("not_found");
        exchange.sendHtml(SOUP_STATUS_NOT_FOUND, WebAssets::notFound);
    }
}

void WebSite::home(Exchange& exchange, int status, const std::string& error) {
    const auto current = session(exchange);
    const auto email = current ? *world_.accounts.emailOf(*current) : std::string();
    std::string recent;
    int shown = 0;
    for (const auto& clip : world_.catalogue.clips()) {
        if (!current || shown == 8)
            break;
        if (clip.id.empty())
            continue;
        GCharRef escapedId(g_uri_escape_string(clip.id.c_str(), nullptr, FALSE));
        recent += "<li><a href=\"/song/" + escapeHtml(escapedId.get()) + "\">" +
                  escapeHtml(clip.title()) + "</a> <span class=\"meta\">" +
                  escapeHtml(clip.projectName()) + "</span></li>";
        ++shown;
    }
    exchange.sendHtml(status, fill(WebAssets::home,
                                   {{"signedInHidden", current ? "" : "hidden"},
                                    {"signedOutHidden", current ? "hidden" : ""},
                                    {"email", escapeHtml(email)},
                                    {"error", escapeHtml(error)},
                                    {"recentTracks", recent},
                                    {"foreignFrame",
                                     world_.options.hostileSignIn && !current
                                         ? "<iframe id=\"foreign-frame\" title=\"Offers\" src=\"" +
                                               world_.storageOrigin + "/hostile/frame\"></iframe>"
                                         : ""},
                                    {"clerkDelay", std::to_string(world_.options.clerkDelayMs)}}));
}

void WebSite::signIn(Exchange& exchange) {
    auto fields = formFields(exchange.body());
    const auto email = trimmed(fields["email"]);
    if (email.empty() || fields["password"].empty()) {
        home(exchange, SOUP_STATUS_BAD_REQUEST, "Enter your email and password.");
        return;
    }
    setSessionCookie(exchange, world_.accounts.signIn(email));
    exchange.redirect("/");
}

void WebSite::provider(Exchange& exchange) {
    const bool chooser = exchange.query("chooser") == "1";
    exchange.sendHtml(
        SOUP_STATUS_OK,
        fill(WebAssets::provider, {{"message", chooser ? "Choose an account to continue to Orvo."
                                                       : "Signing you in to Orvo…"},
                                   {"email", providerEmail},
                                   {"chooser", chooser ? "true" : "false"},
                                   {"delay", std::to_string(world_.options.providerDelayMs)}}));
}

void WebSite::song(Exchange& exchange, const std::string& id) {
    const auto* clip = world_.catalogue.find(id);
    if (!clip) {
        exchange.sendHtml(SOUP_STATUS_NOT_FOUND, WebAssets::notFound);
        return;
    }
    const auto status = clip->feed.value("status", nlohmann::json()).is_string()
                            ? clip->feed["status"].get<std::string>()
                            : std::string("unknown");
    const bool liked = clip->feed.value("is_liked", nlohmann::json()).is_boolean() &&
                       clip->feed["is_liked"].get<bool>();
    exchange.sendHtml(SOUP_STATUS_OK,
                      fill(WebAssets::song, {{"title", escapeHtml(clip->title())},
                                             {"workspace", escapeHtml(clip->projectName())},
                                             {"status", escapeHtml(status)},
                                             {"liked", liked ? "Liked" : "Not liked"},
                                             {"id", escapeHtml(clip->id)}}));
}

std::optional<std::string> WebSite::session(const Exchange& exchange) const {
    auto value = exchange.cookie(cookieName);
    if (!value || !world_.accounts.emailOf(*value))
        return std::nullopt;
    return value;
}
