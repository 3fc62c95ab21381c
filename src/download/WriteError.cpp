#include "download/WriteError.hpp"

#include "model/Translation.hpp"

#include <glib.h>
#include <system_error>

WriteError::WriteError(const std::filesystem::path& path, int error)
    : std::runtime_error(
          // Translators: {reason} is the system's error ("No space left on device").
          Translation::fill(_("Could not write to {path}: {reason}"),
                            {{"path", displayPath(path)}, {"reason", g_strerror(error)}})),
      error_(error) {}

std::string WriteError::displayPath(const std::filesystem::path& path) {
    char* text = g_filename_display_name(path.c_str());
    std::string display(text);
    g_free(text);
    return display;
}
