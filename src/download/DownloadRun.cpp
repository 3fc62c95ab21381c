#include "manager/DownloadManager.hpp"
#include "manager/Plural.hpp"
#include "manager/SavedTracks.hpp"

#include <map>

namespace {

namespace RunLimits {
constexpr double pollSeconds = 45;
constexpr int maxRetryRounds = 8;
constexpr double pauseBeforeRound = 3;
} // namespace RunLimits

// Removes the temporary files a download cut off by a crash or a kill left
// in the folder; only this app's own, and nothing else.
void removeLeftovers(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::error_code ignored;
        if (FileNames::isPartFile(entries->path().filename().native()) &&
            entries->symlink_status(ignored).type() == std::filesystem::file_type::regular)
            std::filesystem::remove(entries->path(), ignored);
    }
}

// Lends the run's upcoming tracks to the polls for as long as the run lasts.
class Lend {
  public:
    Lend(UpcomingTracks*& slot, UpcomingTracks* tracks) : slot_(slot) { slot_ = tracks; }
    ~Lend() { slot_ = nullptr; }
    Lend(const Lend&) = delete;
    Lend& operator=(const Lend&) = delete;

  private:
    UpcomingTracks*& slot_;
};

// Remembers a file the run has just saved; the record is best-effort.
void remember(SavedTracks& saved, const WClip& track, const std::string& folderName,
              const std::filesystem::path& folder, const std::string& name) {
    std::error_code error;
    const auto size = std::filesystem::file_size(folder / name, error);
    if (!error)
        saved.remember(track.id, {folderName, name, size});
}

} // namespace

Task<void> DownloadManager::start() {
    // A second run at the same time would share every counter and text.
    if (!destFolder_ || running_)
        co_return;
    const std::filesystem::path destination = *destFolder_;
    // An unplugged drive leaves its mount point empty or gone: writing
    // there would fill another disk, so the run does not start.
    std::error_code error;
    if (!std::filesystem::is_directory(destination, error)) {
        setOverall("Destination folder not found: " + WriteError::displayPath(destination));
        setCurrent("");
        co_return;
    }

    const ActivityEnd end(*this, running_, Property::running);
    RunTally tally;
    std::optional<std::string> stopped;
    try {
        setRunning(true);
        cancelFlag_ = false;
        signedOut_ = false;
        if (!log_.empty()) {
            log_.clear();
            changed_.emit(Property::log);
        }
        setFraction(0);
        if (!failures_.empty()) {
            failures_.clear();
            changed_.emit(Property::failures);
        }
        stopped = co_await downloadWorkspaces(destination, tally);
    } catch (const std::exception& failure) {
        stopped = std::string(failure.what());
        addLog("Download stopped: " + *stopped);
    } catch (...) {
        stopped = "unknown error";
        addLog("Download stopped: " + *stopped);
    }

    setOverall(signedOut_    ? signedOutText
               : stopped     ? "Stopped: " + *stopped
               : cancelFlag_ ? "Cancelled"
                             : "Complete");
    std::string summary = "Downloaded " + plural(std::int64_t(tally.saved), "file");
    if (tally.failed > 0)
        summary +=
            " · " + std::to_string(tally.failed) + " could not be completed (see activity log)";
    setCurrent(summary + ".");
}

Task<std::optional<std::string>> DownloadManager::fetchOrStop(WClip track,
                                                              std::filesystem::path folder,
                                                              FileNames::UsedNames& used,
                                                              std::optional<std::string>& stopped) {
    try {
        co_return co_await fetchTrack(std::move(track), std::move(folder), used,
                                      RunLimits::pollSeconds);
    } catch (const WriteError& failure) {
        stopped = failure.what();
        addLog(*stopped);
    }
    co_return std::nullopt;
}

Task<std::optional<std::string>>
DownloadManager::downloadWorkspaces(std::filesystem::path destination, RunTally& tally) {
    std::vector<Workspace> work;
    for (const Workspace& workspace : workspaces_)
        if (selected_.contains(workspace.id))
            work.push_back(workspace);
    const auto tracksOf = [this](const Workspace& workspace) {
        return likedOnly_ ? workspace.likedClips() : workspace.clips;
    };
    for (const Workspace& workspace : work) {
        tally.total += tracksOf(workspace).size();
        removeLeftovers(destination / FileNames::sanitize(workspace.name));
    }

    // Which tracks are still in place from an earlier run, and so which are
    // to be fetched, is settled once, before anything is written.
    SavedTracks saved(savedTracksURL(), destination);
    SavedTracks::Keep keep;
    std::vector<std::string> toFetch;
    {
        std::vector<SavedTracks::Track> all;
        for (const Workspace& workspace : work)
            for (const WClip& track : tracksOf(workspace))
                all.push_back({track.id, FileNames::sanitize(workspace.name)});
        if (skipSaved_)
            keep = saved.keep(all);
        for (const SavedTracks::Track& track : all)
            if (!keep.inPlace.contains(track.id))
                toFetch.push_back(track.id);
    }
    UpcomingTracks upcoming(std::move(toFetch));
    const Lend lent(upcoming_, prepareUpcoming_ ? &upcoming : nullptr);
    std::size_t position = 0; // of the next track to fetch in the first pass

    const auto updateFraction = [&] {
        setFraction(tally.total == 0 ? 0.0
                                     : double(tally.saved + tally.failed) / double(tally.total));
    };
    // Workspaces whose names come out as the same folder share one set of
    // used names, so one run never writes over its own files.
    std::map<std::string, FileNames::UsedNames> usedByFolder;
    // Set when the disk refuses a write: the run ends after recording the
    // tracks of this workspace that are left.
    std::optional<std::string> stopped;

    for (std::size_t w = 0; w < work.size() && !stopped; ++w) {
        if (cancelFlag_)
            break;
        const Workspace& workspace = work[w];
        const std::vector<WClip> tracks = tracksOf(workspace);
        const std::string folderName = FileNames::sanitize(workspace.name);
        const std::filesystem::path folder = destination / folderName;
        // Only the workspace's own folder is made: a destination that has
        // gone since the run began is not made again on another disk.
        std::error_code error;
        std::filesystem::create_directory(folder, error);
        if (error) {
            const WriteError failure(folder, error.value());
            addLog(failure.what());
            co_return failure.what();
        }
        const std::string folderKey = FileNames::UsedNames::fold(folderName);
        FileNames::UsedNames& used = usedByFolder[folderKey];
        // The files kept from earlier runs keep their names.
        for (const std::string& name : keep.reserved[folderKey])
            used.insert(name);

        const std::string prefix = "Workspace " + std::to_string(w + 1) + " of " +
                                   std::to_string(work.size()) + ": " + workspace.name;
        addLog(workspace.name + " — " + plural(std::int64_t(tracks.size()), "file"));

        std::vector<WClip> retry;
        for (std::size_t t = 0; t < tracks.size() && !stopped; ++t) {
            if (cancelFlag_)
                break;
            const WClip& track = tracks[t];
            setOverall(prefix + " — track " + std::to_string(t + 1) + " of " +
                       std::to_string(tracks.size()));
            if (keep.inPlace.contains(track.id)) {
                ++tally.saved;
                addLog("Already saved: " + track.title);
                updateFraction();
                continue;
            }
            upcoming.reach(position++);
            const std::optional<std::string> name =
                co_await fetchOrStop(track, folder, used, stopped);
            if (stopped) {
                retry.push_back(track);
                break;
            }
            if (name) {
                ++tally.saved;
                remember(saved, track, folderName, folder, *name);
                addLog("Saved: " + track.title);
            } else {
                retry.push_back(track);
                addLog("Slow to process, queued for retry: " + track.title);
            }
            updateFraction();
        }

        for (int round = 1;
             !retry.empty() && !cancelFlag_ && !stopped && round <= RunLimits::maxRetryRounds;
             ++round) {
            addLog(workspace.name + ": retry " + std::to_string(round) + " — " +
                   std::to_string(retry.size()) + " remaining");
            co_await rest(RunLimits::pauseBeforeRound);
            const std::vector<WClip> input = std::move(retry);
            std::vector<WClip> stillFailing;
            for (std::size_t i = 0; i < input.size(); ++i) {
                if (cancelFlag_)
                    break;
                const WClip& track = input[i];
                setOverall(prefix + " — retry " + std::to_string(round) + ": " + track.title);
                const std::optional<std::string> name =
                    co_await fetchOrStop(track, folder, used, stopped);
                if (stopped) {
                    // This track and those not tried yet are left undone.
                    stillFailing.insert(stillFailing.end(), input.begin() + std::ptrdiff_t(i),
                                        input.end());
                    break;
                }
                if (name) {
                    ++tally.saved;
                    remember(saved, track, folderName, folder, *name);
                    addLog("Saved: " + track.title + " (retry " + std::to_string(round) + ")");
                } else {
                    stillFailing.push_back(track);
                }
                updateFraction();
            }
            const bool progress = stillFailing.size() < input.size();
            retry = std::move(stillFailing);
            if (!progress && !stopped) {
                addLog(workspace.name + ": " + plural(std::int64_t(retry.size()), "track") +
                       " could not be completed after repeated attempts");
                break;
            }
        }

        // Tracks left when the sign-in was lost are no fault of the service.
        for (const WClip& track : signedOut_ ? std::vector<WClip>() : retry) {
            ++tally.failed;
            failures_.push_back(FailedItem{track.id, track.title, workspace.name});
            changed_.emit(Property::failures);
            addLog("Unable to download: " + track.title);
            updateFraction();
        }
    }
    co_return stopped;
}
