#include "download/WebAddress.hpp"

#include "model/UriText.hpp"

#include <glib.h>
#include <string>

bool isWebAddress(std::string_view url) {
    const std::string text(url);
    GUri* uri = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri)
        return false;
    const char* scheme = g_uri_get_scheme(uri);
    const char* host = g_uri_get_host(uri);
    const bool web =
        (g_ascii_strcasecmp(scheme, "http") == 0 || g_ascii_strcasecmp(scheme, "https") == 0) &&
        host && *host;
    g_uri_unref(uri);
    return web;
}

bool isLinkAddress(std::string_view url) {
    return onlyUriCharacters(url) && isWebAddress(url);
}
