#pragma once
#include <filesystem>
#include <optional>

// What `--download-new` was asked to do, and how it ends: the exit statuses
// a script or a timer acts on.
struct DownloadNewOptions {
    // Every workspace of the library, not only those the last run chose.
    bool allWorkspaces = false;
    // Instead of the destination used last.
    std::optional<std::filesystem::path> destination;

    enum Status : int {
        done = 0,
        someFailed = 1,
        signInNeeded = 2,
        destinationUnavailable = 3,
        anotherRun = 4,
        usage = 64,
    };
};
