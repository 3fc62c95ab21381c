#include "model/Origins.hpp"

#include <glib.h>

#include <cstdlib>

#include "BuildConfig.hpp"

namespace {
std::string origin(const char* variable, const char* fallback) {
    const char* value = std::getenv(variable);
    std::string text = value && *value ? value : fallback;
    while (!text.empty() && text.back() == '/')
        text.pop_back();
    return text;
}
// RFC 3986 allows only these characters, plus "%" before two hex digits.
bool onlyUriCharacters(std::string_view text) {
    static constexpr std::string_view allowed = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                "0123456789-._~:/?#[]@!$&'()*+,;=";
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '%') {
            if (i + 2 >= text.size() || !g_ascii_isxdigit(text[i + 1]) ||
                !g_ascii_isxdigit(text[i + 2]))
                return false;
            i += 2;
        } else if (allowed.find(text[i]) == std::string_view::npos) {
            return false;
        }
    }
    return true;
}

} // namespace

Origins Origins::fromEnvironment() {
    return Origins{origin("ORVO_WEB_ORIGIN", BuildConfig::webOrigin),
                   origin("ORVO_API_ORIGIN", BuildConfig::apiOrigin),
                   origin("ORVO_UPDATE_ORIGIN", BuildConfig::updateOrigin)};
}

const Origins& Origins::current() {
    static const Origins origins = fromEnvironment();
    return origins;
}

std::optional<std::string> Origins::songURL(std::string_view id) const {
    std::string url = web + "/song/" + std::string(id);
    if (!onlyUriCharacters(url) || !g_uri_is_valid(url.c_str(), G_URI_FLAGS_NONE, nullptr))
        return std::nullopt;
    return url;
}
