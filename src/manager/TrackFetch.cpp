#include "download/WavTagger.hpp"
#include "download/WebAddress.hpp"
#include "download/WriteError.hpp"
#include "manager/DownloadManager.hpp"
#include "model/Isolated.hpp"
#include "model/Origins.hpp"
#include "model/Translation.hpp"

#include <algorithm>
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
        setCurrent(Translation::fill(
            // Translators: {seconds} counts the seconds waited so far ("s" for seconds).
            _("Preparing: {title} ({seconds}s)"),
            {{"title", isolated(track.title)}, {"seconds", Translation::number(elapsed)}}));
        // The wait between two polls is the time to ask for one upcoming
        // track, so no two requests are ever under way at once.
        double pause = pollInterval;
        if (auto upcoming = nextToPrepare()) {
            const double asked = clock_.now();
            co_await bridge.convertWav(*upcoming);
            pause = std::max(0.0, pause - (clock_.now() - asked));
        }
        co_await rest(pause);
    }
    co_return std::nullopt;
}

Task<PartFile> DownloadManager::download(std::string url, std::filesystem::path folder) {
    if (!isWebAddress(url))
        throw AddressRefused(_("address refused: not a web address"));
    co_return co_await downloader_.download(std::move(url), std::move(folder), cancelled_);
}

// The folder belongs to the run, which awaits this call before it touches
// the folder again.
Task<std::optional<WorkspaceFolder::Placed>> DownloadManager::fetchTrack(WClip track,
                                                                         std::string workspace,
                                                                         WorkspaceFolder& folder,
                                                                         double pollSeconds) {
    if (cancelFlag_)
        co_return std::nullopt;
    setCurrent(Translation::fill(_("Converting: {title}"), {{"title", isolated(track.title)}}));
    // A track asked for ahead of its turn is converting already.
    if (!upcoming_ || !upcoming_->takeAsked(track.id))
        co_await bridge.convertWav(track.id);
    auto url = co_await pollWav(track, pollSeconds);
    if (!url) {
        if (cancelFlag_)
            co_return std::nullopt;
        // A slow track is prodded once through another route, then asked
        // for again.
        setCurrent(
            // Translators: asking Orvo for an MP3 of the track, which makes a slow WAV
            // conversion go on.
            Translation::fill(_("Nudging via MP3: {title}"), {{"title", isolated(track.title)}}));
        co_await bridge.triggerMP3Download(track.id);
        co_await bridge.convertWav(track.id);
        url = co_await pollWav(track, pollSeconds);
        if (!url)
            co_return std::nullopt;
    }
    setCurrent(Translation::fill(_("Downloading: {title}"), {{"title", isolated(track.title)}}));
    std::optional<PartFile> part;
    try {
        part.emplace(co_await download(std::move(*url), folder.path()));
    } catch (const WriteError&) {
        throw; // the disk's fault, not the service's: the run decides
    } catch (const AddressRefused&) {
        throw; // asking again brings the same address: the run decides
    } catch (...) {
        // The run queues the track; why it failed is not shown.
        co_return std::nullopt;
    }
    bool untagged = false;
    if (tagFiles_) {
        const TrackTags tags{track.title, std::move(workspace), track.id,
                             Origins::current().songURL(track.id).value_or("")};
        untagged = !WavTagger::tag(part->path(), tags);
        // The details are part of the file: on the disk before it is
        // placed, and in the time and size the record keeps.
        part->finish();
    }
    WorkspaceFolder::Placed placed = folder.place(*part, track);
    placed.untagged = untagged;
    co_return placed;
}

std::optional<std::string> DownloadManager::nextToPrepare() {
    if (!upcoming_ || cancelFlag_)
        return std::nullopt;
    return upcoming_->next();
}
