#pragma once
#include "async/Task.hpp"

#include <filesystem>
#include <stdexcept>
#include <string>
#include <system_error>

// Why a download failed, for whoever wants to know (the run only counts it).
struct DownloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file could not be written on this computer: the disk is full, the
// folder is read-only or gone, permission is refused. Trying again would
// fail the same way, so the run stops on it. what() reads "Could not write
// to <folder>: <the system's reason>".
struct WriteError : DownloadError {
    WriteError(const std::filesystem::path& folder, int error)
        : DownloadError("Could not write to " + displayPath(folder) + ": " +
                        std::generic_category().message(error)) {}

    // The path as text for the user, valid UTF-8 whatever bytes it holds.
    static std::string displayPath(const std::filesystem::path& path);
};

// Fetches a WAV file's address onto disk. The app's one implementation
// streams it with libsoup; tests use a fake.
class FileDownloader {
  public:
    virtual ~FileDownloader() = default;

    // Saves the body at the address as the destination file, replacing any
    // file there in one step. Throws on any failure (WriteError when the
    // disk refused it), and then leaves neither a partial destination nor a
    // temporary file, and keeps an earlier file.
    virtual Task<void> download(std::string url, std::filesystem::path destination) = 0;
};
