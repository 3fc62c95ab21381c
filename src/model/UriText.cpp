#include "model/UriText.hpp"

#include <glib.h>

bool onlyUriCharacters(std::string_view text) {
    static constexpr std::string_view allowed =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
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
