#include "model/Origins.hpp"

#include "BuildConfig.hpp"
#include "model/UriText.hpp"

#include <cstdlib>
#include <glib.h>

namespace {
std::string origin(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::string text = value && *value ? value : fallback;
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}
} // namespace

Origins Origins::fromEnvironment() {
    Origins origins{origin("ORVO_WEB_ORIGIN", BuildConfig::webOrigin),
                    origin("ORVO_API_ORIGIN", BuildConfig::apiOrigin),
                    origin("ORVO_UPDATE_ORIGIN", BuildConfig::updateOrigin)};
    const char* value = std::getenv("ORVO_SIGN_IN_ORIGINS");
    gchar** pieces = g_strsplit_set(value ? value : BuildConfig::signInOrigins, " ,", -1);
    for (gchar** piece = pieces; *piece; ++piece)
        if (**piece)
            origins.signIn.emplace_back(*piece);
    g_strfreev(pieces);
    return origins;
}

bool Origins::isService(std::string_view address) const {
    const auto target = originOf(address);
    if (!target)
        return false;
    if (target == originOf(web))
        return true;
    for (const auto& other : signIn)
        if (target == originOf(other))
            return true;
    return false;
}

const Origins& Origins::current() {
    static const Origins origins = fromEnvironment();
    return origins;
}

std::optional<std::string> Origins::originOf(std::string_view address) {
    const auto lower = [](const char* text) {
        std::string out(text ? text : "");
        for (char& c : out)
            c = g_ascii_tolower(c);
        return out;
    };
    const std::string text(address);
    GUri* uri = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri)
        return std::nullopt;
    const std::string scheme = lower(g_uri_get_scheme(uri));
    const std::string host = lower(g_uri_get_host(uri));
    const int port = g_uri_get_port(uri);
    g_uri_unref(uri);
    if (host.empty())
        return std::nullopt;
    std::string origin =
        scheme + "://" + (host.find(':') != std::string::npos ? "[" + host + "]" : host);
    const int defaultPort = scheme == "http" ? 80 : scheme == "https" ? 443 : -1;
    if (port > 0 && port != defaultPort)
        origin += ":" + std::to_string(port);
    return origin;
}

std::optional<std::string> Origins::songURL(std::string_view id) const {
    // One path segment whatever the id holds; "." and ".." would be a path
    // of their own even encoded.
    if (id.empty() || id == "." || id == "..")
        return std::nullopt;
    char* escaped = g_uri_escape_string(std::string(id).c_str(), nullptr, FALSE);
    std::string url = web + "/song/" + escaped;
    g_free(escaped);
    if (!onlyUriCharacters(url) || !g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr))
        return std::nullopt;
    return url;
}
