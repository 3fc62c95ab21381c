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
