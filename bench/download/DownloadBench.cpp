// The native download of a large WAV over loopback against `curl -o` of the
// same file from the same server: throughput ratio, and how far our peak
// memory rises during a download (it must not grow with the file), and what
// writing the track details into the file adds to the download's time.
//
//   bench_download [MiB]    (default 1024)
#include "async/GlibClock.hpp"
#include "download/SoupDownloader.hpp"
#include "download/WavTagger.hpp"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <glib.h>
#include <string>
#include <sys/wait.h>
#include <vector>

namespace {

constexpr int rounds = 3;

// Resident and peak resident memory of this process, in KiB.
long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0)
            return std::stol(line.substr(std::strlen(field)));
    return -1;
}

// Starts the peak count afresh from the present size.
void resetPeak() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

double seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

struct Ours {
    double seconds;
    long growthKiB;
    double tagSeconds = 0; // writing the track details and flushing again
};

// Downloads the address as the file, the way a run saves a track, with the
// track details when asked.
void fetch(SoupDownloader& downloader, const std::string& url, const std::filesystem::path& file,
           double* tagSeconds = nullptr) {
    CancelSignal neverCancelled;
    PartFile part = runOnMainLoop(downloader.download(url, file.parent_path(), neverCancelled));
    if (tagSeconds) {
        const auto start = std::chrono::steady_clock::now();
        const TrackTags tags{"Night Drive", "Demos", "c0ffee", "https://orvo.example/song/c0ffee"};
        if (!WavTagger::tag(part.path(), tags))
            throw std::runtime_error("the file took no track details");
        part.finish();
        *tagSeconds = seconds(start);
    }
    part.replace(file.filename());
}

Ours ourDownload(SoupDownloader& downloader, const std::string& url,
                 const std::filesystem::path& file, bool tagged = false) {
    resetPeak();
    const long before = statusKiB("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    double tagSeconds = 0;
    fetch(downloader, url, file, tagged ? &tagSeconds : nullptr);
    const double took = seconds(start) - tagSeconds;
    return {took, statusKiB("VmHWM:") - before, tagSeconds};
}

double curlDownload(const std::string& url, const std::filesystem::path& file) {
    const std::string path = file.string();
    const char* argv[] = {"curl", "-s", "-S", "-f", "-o", path.c_str(), url.c_str(), nullptr};
    const auto start = std::chrono::steady_clock::now();
    gint status = 0;
    GError* error = nullptr;
    if (!g_spawn_sync(nullptr, const_cast<char**>(argv), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                      nullptr, nullptr, nullptr, &status, &error) ||
        !g_spawn_check_wait_status(status, nullptr))
        throw std::runtime_error("curl failed");
    return seconds(start);
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    const unsigned long long mib = argc > 1 ? std::stoull(argv[1]) : 1024;
    const unsigned long long bytes = mib << 20;

    // The server runs in its own process, like a real one.
    const char* serverArgv[] = {WAV_SERVER_PATH, nullptr};
    GPid server = 0;
    gint serverOut = -1;
    GError* error = nullptr;
    if (!g_spawn_async_with_pipes(nullptr, const_cast<char**>(serverArgv), nullptr,
                                  G_SPAWN_DO_NOT_REAP_CHILD, nullptr, nullptr, &server, nullptr,
                                  &serverOut, nullptr, &error)) {
        std::fprintf(stderr, "cannot start the WAV server: %s\n", error->message);
        return 1;
    }
    char portLine[16] = {};
    const ssize_t got = read(serverOut, portLine, sizeof portLine - 1);
    const int port = got > 0 ? std::atoi(portLine) : 0;
    const auto url = [port](unsigned long long size) {
        return "http://127.0.0.1:" + std::to_string(port) + "/" + std::to_string(size) + ".wav";
    };

    const std::filesystem::path folder =
        std::filesystem::path(g_get_tmp_dir()) / ("orvo-bench-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const auto file = folder / "track.wav";
    int status = 0;
    try {
        // The server is on this computer, over plain http, as the stand-in is.
        const std::string server = "http://127.0.0.1:" + std::to_string(port);
        SoupDownloader downloader(DownloadAddressPolicy(Origins{server, server, server}));
        // One small transfer first, so that setting up the session is not
        // counted as growth.
        fetch(downloader, url(1 << 20), file);
        const Ours small = ourDownload(downloader, url(16ull << 20), file);

        std::vector<double> ourTimes, curlTimes, tagShares;
        long growth = 0;
        for (int round = 0; round < rounds; ++round) {
            curlTimes.push_back(curlDownload(url(bytes), file));
            std::filesystem::remove(file);
            const Ours ours = ourDownload(downloader, url(bytes), file);
            if (std::filesystem::file_size(file) != bytes)
                throw std::runtime_error("wrong file size");
            std::filesystem::remove(file);
            ourTimes.push_back(ours.seconds);
            growth = std::max(growth, ours.growthKiB);

            const Ours tagged = ourDownload(downloader, url(bytes), file, true);
            if (std::filesystem::file_size(file) <= bytes)
                throw std::runtime_error("wrong file size");
            std::filesystem::remove(file);
            tagShares.push_back(tagged.tagSeconds / tagged.seconds);
        }
        const double ourRate = double(bytes) / median(ourTimes) / (1 << 20);
        const double curlRate = double(bytes) / median(curlTimes) / (1 << 20);
        std::printf("download of a %llu MiB WAV over loopback (median of %d)\n", mib, rounds);
        std::printf(
            "  ours: %7.0f MiB/s   curl -o: %7.0f MiB/s   ratio %.2f (target 0.9 or more)\n",
            ourRate, curlRate, ourRate / curlRate);
        std::printf("  peak memory growth: %.1f MiB for %llu MiB, %.1f MiB for 16 MiB "
                    "(target under 16 MiB)\n",
                    double(growth) / 1024, mib, double(small.growthKiB) / 1024);
        std::printf("  track details written into it: %.2f %% of its download time "
                    "(target under 5 %%)\n",
                    100 * median(tagShares));
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "bench_download: %s\n", failure.what());
        status = 1;
    }
    std::filesystem::remove_all(folder);
    kill(server, SIGTERM);
    waitpid(server, nullptr, 0);
    g_spawn_close_pid(server);
    return status;
}
