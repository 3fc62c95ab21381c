#include "download/FileDownloader.hpp"

#include <glib.h>

std::string WriteError::displayPath(const std::filesystem::path& path) {
    char* text = g_filename_display_name(path.c_str());
    std::string display(text);
    g_free(text);
    return display;
}
