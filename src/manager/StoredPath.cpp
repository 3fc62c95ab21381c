#include "manager/StoredPath.hpp"

#include <glib.h>

namespace StoredPath {

std::string text(const std::filesystem::path& path) {
    const std::string& bytes = path.native();
    if (g_utf8_validate_len(bytes.data(), bytes.size(), nullptr))
        return bytes;
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(path, ignored);
    char* uri = g_filename_to_uri(absolute.c_str(), nullptr, nullptr);
    std::string stored = uri ? uri : "";
    g_free(uri);
    return stored;
}

std::filesystem::path path(const std::string& text) {
    if (!text.starts_with("file:///"))
        return text;
    char* bytes = g_filename_from_uri(text.c_str(), nullptr, nullptr);
    std::filesystem::path restored =
        bytes ? std::filesystem::path(bytes) : std::filesystem::path(text);
    g_free(bytes);
    return restored;
}

} // namespace StoredPath
