#pragma once
#include "async/Task.hpp"

#include <filesystem>
#include <stdexcept>
#include <string>

// Why a download failed, for whoever wants to know (the run only counts it).
struct DownloadError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Fetches a WAV file's address onto disk. The app's one implementation
// streams it with libsoup; tests use a fake.
class FileDownloader {
  public:
    virtual ~FileDownloader() = default;

    // Saves the body at the address as the destination file, replacing any
    // file there in one step. Throws on any failure, and then leaves neither
    // a partial destination nor a temporary file, and keeps an earlier file.
    virtual Task<void> download(std::string url, std::filesystem::path destination) = 0;
};
