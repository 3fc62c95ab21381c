#pragma once
#include <filesystem>
#include <string>

// Paths kept in the app's text files (settings, the saved-track record).
// A path that is not valid UTF-8 (a folder named in another encoding) is
// stored as a file: address, whose escapes give back its exact bytes; every
// other path is stored as it is.
namespace StoredPath {

std::string text(const std::filesystem::path& path);
std::filesystem::path path(const std::string& text);

} // namespace StoredPath
