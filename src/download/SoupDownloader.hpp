#pragma once
#include "async/GLibRef.hpp"
#include "download/DownloadAddressPolicy.hpp"
#include "download/FileDownloader.hpp"

#include <libsoup/soup.h>

// Downloads WAV files with libsoup, streamed to a hidden temporary file in
// the destination folder and finished once complete and checked: a 2xx
// status, as many bytes as announced, and a RIFF/RF64 WAVE header. The body
// never sits whole in memory. The address and every redirect's are checked
// by the policy before they are asked for, and so is the address each
// connection really goes to; a body of unannounced length may fill the disk
// only up to the spare room. The file is asked for without content coding,
// and an answer coded all the same is refused.
class SoupDownloader final : public FileDownloader {
  public:
    struct Limits {
        // A transfer fails as stalled when it delivers less than
        // minimumBytes in any window of this many seconds.
        double windowSeconds = 60;
        std::size_t minimumBytes = 64 * 1024;
    };
    // Room left free on the disk after a file.
    static constexpr std::uint64_t spareBytes = 64ull * 1024 * 1024;

    // With the policy of the configured origins.
    SoupDownloader();
    // standIn, for tests: a test server's address that stands in for a
    // remote host; connections to it are made whatever the policy says.
    explicit SoupDownloader(DownloadAddressPolicy policy) : SoupDownloader(policy, Limits{}) {}
    SoupDownloader(DownloadAddressPolicy policy, Limits limits, GSocketAddress* standIn = nullptr);

    Task<PartFile> download(std::string url, std::filesystem::path folder,
                            CancelSignal& cancelled) override;

  private:
    DownloadAddressPolicy policy_;
    Limits limits_;
    GObjectRef<GSocketAddress> standIn_;
    GObjectRef<SoupSession> session_;
};
