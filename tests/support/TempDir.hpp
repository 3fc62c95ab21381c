#pragma once
#include <filesystem>
#include <string>
#include <vector>

// A fresh folder under the test's private temporary folder, removed with
// everything in it when the object goes.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::filesystem::path& name) const {
        return path_ / name;
    }

private:
    std::filesystem::path path_;
};

// The names of a folder's entries, sorted.
std::vector<std::string> namesIn(const std::filesystem::path& folder);
// A file's bytes; empty if it cannot be read.
std::string readFile(const std::filesystem::path& file);
