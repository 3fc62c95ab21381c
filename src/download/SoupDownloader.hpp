#pragma once
#include "async/GLibRef.hpp"
#include "download/FileDownloader.hpp"

#include <libsoup/soup.h>
#include <memory>

// Downloads WAV files with libsoup, streamed to a hidden temporary file in
// the destination's folder and renamed into place once complete and
// checked: a 2xx status, as many bytes as announced, and a RIFF/RF64 WAVE
// header. The body never sits whole in memory.
class SoupDownloader final : public FileDownloader {
  public:
    // A transfer fails when the server stays silent this long.
    explicit SoupDownloader(unsigned stallSeconds = 60);

    Task<void> download(std::string url, std::filesystem::path destination) override;

  private:
    GObjectRef<SoupSession> session_;
};
