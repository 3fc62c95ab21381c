#include "download/WriteError.hpp"

#include <glib.h>
#include <system_error>

WriteError::WriteError(const std::filesystem::path& path, int error)
    : std::runtime_error("Could not write to " + displayPath(path) + ": " +
                         std::generic_category().message(error)),
      error_(error) {}

std::string WriteError::displayPath(const std::filesystem::path& path) {
    char* text = g_filename_display_name(path.c_str());
    std::string display(text);
    g_free(text);
    return display;
}
