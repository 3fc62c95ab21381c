#pragma once
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// The app's own files (settings, library.json) are private to the user and
// never seen half-written.
namespace PrivateFile {

// Writes the bytes to a temporary file beside the target and renames it into
// place, so a crash leaves the old file or the new one. The file is made
// 0600 and its folder (created when missing) 0700. False on any failure.
bool write(const std::filesystem::path& file, std::string_view bytes);

// The whole file, or none when it cannot be read.
std::optional<std::string> read(const std::filesystem::path& file);

} // namespace PrivateFile
