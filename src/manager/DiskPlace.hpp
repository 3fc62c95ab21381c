#pragma once
#include <filesystem>
#include <optional>
#include <string>

// Where a folder is, told by its disk rather than by the path it is mounted
// under: an unplugged drive leaves an empty mount point that the same path
// now leads to, and a drive plugged in again may come back under another
// path.
struct DiskPlace {
    // "uuid:<the file system's UUID>" where the system names one, else
    // "fsid:<the file system id>".
    std::string disk;
    // The folder's path from the file system's root, "/" for the root, as
    // StoredPath keeps paths in text.
    std::string inside;
    bool operator==(const DiskPlace&) const = default;

    // None when the folder cannot be looked at or its file system names
    // itself by nothing stable (a file system id of 0).
    static std::optional<DiskPlace>
    of(const std::filesystem::path& folder,
       const std::filesystem::path& mountTable = "/proc/self/mountinfo",
       const std::filesystem::path& uuids = "/dev/disk/by-uuid");
};
