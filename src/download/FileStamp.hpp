#pragma once
#include <cstdint>
#include <filesystem>
#include <optional>

// What tells a file we saved from the same file changed since: its size and
// its modification time in nanoseconds.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modified = 0;
    bool operator==(const FileStamp&) const = default;

    // The stamp of a regular file; none for anything else (missing, a
    // folder, a link), which is never taken for a file of ours.
    static std::optional<FileStamp> of(const std::filesystem::path& path);
};
