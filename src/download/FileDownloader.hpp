#pragma once
#include "async/Task.hpp"
#include "download/DownloadError.hpp"
#include "download/PartFile.hpp"

#include <filesystem>
#include <sigc++/signal.h>
#include <string>

// Emitted when the user asks a run to stop: the transfer under way ends at
// once instead of at its next checkpoint.
using CancelSignal = sigc::signal<void()>;

// Fetches a WAV file's address into a finished temporary file in a folder,
// for the caller to move into place. The app's one implementation streams it
// with libsoup; tests use a fake.
class FileDownloader {
  public:
    virtual ~FileDownloader() = default;

    // Throws on any failure (WriteError when the local disk refused it,
    // AddressRefused when the address or a redirect's is not one to fetch,
    // DownloadError otherwise, also when cancelled) and then leaves no
    // temporary file behind.
    virtual Task<PartFile> download(std::string url, std::filesystem::path folder,
                                    CancelSignal& cancelled) = 0;
};
