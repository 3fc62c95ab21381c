#include "download/WebAddress.hpp"
#include "manager/DownloadManager.hpp"
#include "session/BridgeError.hpp"

#include <cmath>

namespace {
constexpr double pollInterval = 2.5;
} // namespace

Task<std::optional<std::string>> DownloadManager::pollWav(WClip track, double seconds) {
    const double start = clock_.now();
    while (clock_.now() - start < seconds) {
        if (cancelFlag_)
            co_return std::nullopt;
        auto url = co_await bridge.wavURL(track.id);
        if (url && !url->empty())
            co_return url;
        const auto elapsed = static_cast<long long>(std::trunc(clock_.now() - start));
        setCurrent("Preparing: " + track.title + " (" + std::to_string(elapsed) + "s)");
        co_await rest(pollInterval);
    }
    co_return std::nullopt;
}

Task<void> DownloadManager::download(std::string url, std::filesystem::path destination) {
    if (!isWebAddress(url))
        throw BridgeError("bad URL");
    co_await downloader_.download(std::move(url), std::move(destination));
}

// The used-name set belongs to the run, which awaits this call before it
// touches the set again.
Task<bool> DownloadManager::fetchTrack(WClip track, std::filesystem::path folder,
                                       FileNames::UsedNames& used, double pollSeconds) {
    if (cancelFlag_)
        co_return false;
    setCurrent("Converting: " + track.title);
    co_await bridge.convertWav(track.id);
    auto url = co_await pollWav(track, pollSeconds);
    if (!url) {
        if (cancelFlag_)
            co_return false;
        // A slow track is prodded once through another route, then asked
        // for again.
        setCurrent("Nudging via MP3: " + track.title);
        co_await bridge.triggerMP3Download(track.id);
        co_await bridge.convertWav(track.id);
        url = co_await pollWav(track, pollSeconds);
        if (!url)
            co_return false;
    }
    setCurrent("Downloading: " + track.title);
    const std::string name = FileNames::availableName(track.title, used);
    try {
        co_await download(std::move(*url), folder / name);
    } catch (const WriteError&) {
        throw; // the disk's fault, not the service's: the run stops on it
    } catch (...) {
        // The run queues the track; why it failed is not shown.
        co_return false;
    }
    used.insert(name);
    co_return true;
}
