#include "manager/DownloadManager.hpp"

#include <map>

namespace {

namespace RunLimits {
constexpr double pollSeconds = 45;
constexpr int maxRetryRounds = 8;
constexpr double pauseBeforeRound = 3;
} // namespace RunLimits

std::string plural(std::size_t count, const std::string& noun) {
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

} // namespace

Task<void> DownloadManager::start() {
    // A second run at the same time would share every counter and text.
    if (!destFolder_ || running_)
        co_return;
    const std::filesystem::path destination = *destFolder_;

    setRunning(true);
    cancelFlag_ = false;
    if (!log_.empty()) {
        log_.clear();
        changed_.emit(Property::log);
    }
    setFraction(0);
    if (!failures_.empty()) {
        failures_.clear();
        changed_.emit(Property::failures);
    }

    std::vector<Workspace> work;
    for (const Workspace& workspace : workspaces_)
        if (selected_.contains(workspace.id))
            work.push_back(workspace);
    const auto tracksOf = [this](const Workspace& workspace) {
        return likedOnly_ ? workspace.likedClips() : workspace.clips;
    };
    std::size_t total = 0;
    for (const Workspace& workspace : work)
        total += tracksOf(workspace).size();

    std::size_t saved = 0, failed = 0;
    const auto updateFraction = [&] {
        setFraction(total == 0 ? 0.0 : double(saved + failed) / double(total));
    };
    // Workspaces whose names come out as the same folder share one set of
    // used names, so one run never writes over its own files.
    std::map<std::string, FileNames::UsedNames> usedByFolder;

    for (std::size_t w = 0; w < work.size(); ++w) {
        if (cancelFlag_)
            break;
        const Workspace& workspace = work[w];
        const std::vector<WClip> tracks = tracksOf(workspace);
        const std::string folderName = FileNames::sanitize(workspace.name);
        const std::filesystem::path folder = destination / folderName;
        std::error_code ignored; // a missing folder fails each track's move instead
        std::filesystem::create_directories(folder, ignored);
        FileNames::UsedNames& used = usedByFolder[FileNames::UsedNames::fold(folderName)];

        const std::string prefix = "Workspace " + std::to_string(w + 1) + " of " +
                                   std::to_string(work.size()) + ": " + workspace.name;
        addLog(workspace.name + " — " + plural(tracks.size(), "file"));

        std::vector<WClip> retry;
        for (std::size_t t = 0; t < tracks.size(); ++t) {
            if (cancelFlag_)
                break;
            const WClip& track = tracks[t];
            setOverall(prefix + " — track " + std::to_string(t + 1) + " of " +
                       std::to_string(tracks.size()));
            if (co_await fetchTrack(track, folder, used, RunLimits::pollSeconds)) {
                ++saved;
                addLog("Saved: " + track.title);
            } else {
                retry.push_back(track);
                addLog("Slow to process, queued for retry: " + track.title);
            }
            updateFraction();
        }

        for (int round = 1; !retry.empty() && !cancelFlag_ && round <= RunLimits::maxRetryRounds;
             ++round) {
            addLog(workspace.name + ": retry " + std::to_string(round) + " — " +
                   std::to_string(retry.size()) + " remaining");
            co_await rest(RunLimits::pauseBeforeRound);
            const std::vector<WClip> input = std::move(retry);
            std::vector<WClip> stillFailing;
            for (const WClip& track : input) {
                if (cancelFlag_)
                    break;
                setOverall(prefix + " — retry " + std::to_string(round) + ": " + track.title);
                if (co_await fetchTrack(track, folder, used, RunLimits::pollSeconds)) {
                    ++saved;
                    addLog("Saved: " + track.title + " (retry " + std::to_string(round) + ")");
                } else {
                    stillFailing.push_back(track);
                }
                updateFraction();
            }
            const bool progress = stillFailing.size() < input.size();
            retry = std::move(stillFailing);
            if (!progress) {
                addLog(workspace.name + ": " + plural(retry.size(), "track") +
                       " could not be completed after repeated attempts");
                break;
            }
        }

        for (const WClip& track : retry) {
            ++failed;
            failures_.push_back(FailedItem{track.id, track.title, workspace.name});
            changed_.emit(Property::failures);
            addLog("Unable to download: " + track.title);
            updateFraction();
        }
    }

    setOverall(cancelFlag_ ? "Cancelled" : "Complete");
    std::string summary = "Downloaded " + plural(saved, "file");
    if (failed > 0)
        summary += " · " + std::to_string(failed) + " could not be completed (see activity log)";
    setCurrent(summary + ".");
    setRunning(false);
}
