#include "manager/PrivateFile.hpp"

#include <glib.h>
#include <glib/gstdio.h>

namespace PrivateFile {

bool write(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path folder = file.parent_path();
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0)
        return false;
    // The folder may have been made earlier by something less careful.
    g_chmod(folder.c_str(), 0700);
    GError* error = nullptr;
    const gboolean written =
        g_file_set_contents_full(file.c_str(), bytes.data(), gssize(bytes.size()),
                                 G_FILE_SET_CONTENTS_CONSISTENT, 0600, &error);
    g_clear_error(&error);
    return written;
}

std::optional<std::string> read(const std::filesystem::path& file) {
    gchar* contents = nullptr;
    gsize length = 0;
    if (!g_file_get_contents(file.c_str(), &contents, &length, nullptr))
        return std::nullopt;
    std::string text(contents, length);
    g_free(contents);
    return text;
}

} // namespace PrivateFile
