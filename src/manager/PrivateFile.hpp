#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

// The app's own files (settings, library.json) are private to the user and
// never seen half-written.
namespace PrivateFile {

// Writes the bytes to a temporary file beside the target and renames it into
// place, so a crash leaves the old file or the new one. The file is made
// 0600 and its folder (created when missing) 0700. The system's reason on
// failure.
std::error_code save(const std::filesystem::path& file, std::string_view bytes);
// The same, false on any failure.
inline bool write(const std::filesystem::path& file, std::string_view bytes) {
    return !save(file, bytes);
}

// Removes the temporary files that save() of this file left when it was
// cut short by a crash or a kill: the file's name followed by a dot and six
// letters or digits, and nothing else.
void removeLeftovers(const std::filesystem::path& file);

// The whole file, or none with the system's reason when it cannot be read
// (no such file among them).
std::optional<std::string> read(const std::filesystem::path& file, std::error_code& error);
inline std::optional<std::string> read(const std::filesystem::path& file) {
    std::error_code ignored;
    return read(file, ignored);
}

// Makes the folder (0700) unless it is there.
std::error_code makeFolder(const std::filesystem::path& folder);

} // namespace PrivateFile
