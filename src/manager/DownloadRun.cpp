#include "download/WriteError.hpp"
#include "manager/DiskPlace.hpp"
#include "manager/DownloadManager.hpp"
#include "manager/SavedTracks.hpp"
#include "model/Isolated.hpp"
#include "model/Translation.hpp"

#include <algorithm>
#include <cerrno>
#include <iterator>
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

// The journal is folded into the record however the run ends; when that
// fails, the journal still holds every file and is folded next time.
class SaveAtEnd {
  public:
    explicit SaveAtEnd(SavedTracks& record) : record_(record) {}
    ~SaveAtEnd() {
        try {
            record_.save();
        } catch (const RecordError&) {
        }
    }
    SaveAtEnd(const SaveAtEnd&) = delete;
    SaveAtEnd& operator=(const SaveAtEnd&) = delete;

  private:
    SavedTracks& record_;
};

// How far a refusal of the disk reaches: one name, one folder, or the whole
// run (a full, read-only or failing disk, or a destination that is gone,
// where every later write would fail the same way).
enum class Reach { track, folder, run };

Reach reachOf(const WriteError& failure, const std::filesystem::path& destination,
              const std::filesystem::path& folder) {
    std::error_code error;
    switch (failure.error()) {
    case EINVAL:
    case ENAMETOOLONG:
    case EILSEQ:
    case ENOENT:
    case ENOTDIR:
        if (!std::filesystem::is_directory(destination, error))
            return Reach::run;
        return std::filesystem::is_directory(folder, error) ? Reach::track : Reach::folder;
    case EACCES:
    case EPERM:
    case EEXIST:
        return Reach::folder;
    default: // ENOSPC, EDQUOT, EROFS, EIO and whatever else
        return Reach::run;
    }
}

} // namespace

Task<void> DownloadManager::start() {
    // A resume or a retry asks for this run only.
    RunPlan plan = std::exchange(plan_, RunPlan{});
    // A second run at the same time would share every counter and text.
    if (!destFolder_ || running_)
        co_return;
    const std::filesystem::path destination = *destFolder_;
    // An unplugged drive leaves its mount point empty or gone: writing
    // there would fill another disk, so the run does not start.
    const auto refuse = [this](std::string why) {
        setOverall(std::move(why));
        setCurrent("");
        setFraction(0);
    };
    std::error_code error;
    if (!std::filesystem::is_directory(destination, error)) {
        // Translators: {folder} is the folder the user chose to save into.
        refuse(Translation::fill(_("Destination folder not found: {folder}"),
                                 {{"folder", WriteError::displayPath(destination)}}));
        co_return;
    }
    // A mount point left empty by an unplugged drive is a folder too: the
    // record knows which disk the destination was on.
    std::optional<SavedTracks> saved;
    try {
        saved.emplace(savedTracksURL(), destination, DiskPlace::of(destination));
    } catch (const RecordError& failure) {
        refuse(Translation::fill(_("Stopped: {reason}"), {{"reason", failure.what()}}));
        co_return;
    }
    otherDiskRefused_ = saved->onOtherDisk() && !otherDiskConfirmed_;
    otherDiskConfirmed_ = false;
    if (otherDiskRefused_) {
        // Translators: {folder} is the destination; the drive it was on is not connected.
        refuse(Translation::fill(_("{folder} is not on the disk it was on last time. Connect "
                                   "the drive, or choose the folder again."),
                                 {{"folder", WriteError::displayPath(destination)}}));
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
        // This run takes the place of one left unfinished.
        publish(unfinished_, std::optional<UnfinishedRun>(), Property::unfinished);
        stopped = co_await downloadWorkspaces(destination, *saved, std::move(plan), tally);
    } catch (const std::exception& failure) {
        stopped = std::string(failure.what());
        // Translators: {reason} says what went wrong, often in English from the system.
        addLog(Translation::fill(_("Download stopped: {reason}"), {{"reason", *stopped}}));
    } catch (...) {
        stopped = _("unknown error");
        addLog(Translation::fill(_("Download stopped: {reason}"), {{"reason", *stopped}}));
    }

    // Cut short, it is offered to be finished; at its end, its failures
    // are listed instead.
    lastRunCounts_ = {tally.saved, tally.kept, tally.failed};
    std::set<std::string> left;
    if (stopped || cancelFlag_ || signedOut_)
        std::ranges::set_difference(tally.toFetch, tally.savedIds, std::inserter(left, left.end()));
    keepUnfinished(destination, std::move(left), true);
    setOverall(signedOut_ ? std::string(_(signedOutText))
               // Translators: the state of a download run at its end; {reason} says why it stopped.
               : stopped     ? Translation::fill(_("Stopped: {reason}"), {{"reason", *stopped}})
               : cancelFlag_ ? std::string(_(cancelledText))
                             : std::string(_(completeText)));
    // The summary is one sentence in parts: each part is translated whole.
    // Translators: the first part of the summary of a download run.
    std::string summary = Translation::counted(std::int64_t(tally.saved), "Downloaded {count} file",
                                               "Downloaded {count} files");
    if (tally.kept > 0)
        // Translators: added to the summary of a download run: files left in place.
        summary += Translation::counted(std::int64_t(tally.kept), " · {count} already saved",
                                        " · {count} already saved");
    if (tally.failed > 0)
        summary += Translation::counted(std::int64_t(tally.failed),
                                        // Translators: added to the summary of a download
                                        // run: tracks not saved.
                                        " · {count} could not be completed (see activity log)",
                                        " · {count} could not be completed (see activity log)");
    // Translators: ends the summary of a download run ("Downloaded 3 files · …").
    setCurrent(summary + _("."));
}

Task<DownloadManager::Attempt> DownloadManager::attempt(WClip track, std::string workspace,
                                                        WorkspaceFolder& folder,
                                                        const std::filesystem::path& destination,
                                                        std::optional<std::string>& stopped) {
    Attempt attempt;
    try {
        attempt.placed = co_await fetchTrack(std::move(track), std::move(workspace), folder,
                                             RunLimits::pollSeconds);
    } catch (const RecordError& failure) {
        stopped = failure.what();
        addLog(*stopped);
    } catch (const WriteError& failure) {
        switch (reachOf(failure, destination, folder.path())) {
        case Reach::run:
            stopped = failure.what();
            addLog(*stopped);
            break;
        case Reach::folder:
            attempt.folderRefused = true;
            [[fallthrough]];
        case Reach::track:
            attempt.refused = failure.what();
        }
    } catch (const AddressRefused& refused) {
        attempt.refused = refused.what();
    }
    co_return attempt;
}

void DownloadManager::recordFailure(const WClip& track, const Workspace& workspace, RunTally& tally,
                                    const std::optional<std::string>& reason) {
    ++tally.failed;
    failures_.push_back(FailedItem{track.id, track.title, workspace.name});
    changed_.emit(Property::failures);
    // Translators: a line of the activity log; {title} is a track's title, {reason} why it failed.
    addLog(reason ? Translation::fill(_("Unable to download: {title} ({reason})"),
                                      {{"title", isolated(track.title)}, {"reason", *reason}})
                  : Translation::fill(_("Unable to download: {title}"),
                                      {{"title", isolated(track.title)}}));
    setFraction(double(tally.saved + tally.kept + tally.failed) / double(tally.total));
}

Task<std::optional<std::string>>
DownloadManager::downloadWorkspaces(std::filesystem::path destination, SavedTracks& saved,
                                    RunPlan plan, RunTally& tally) {
    const auto tracksOf = [this, &plan](const Workspace& workspace) {
        if (!plan.only)
            return likedOnly_ ? workspace.likedClips() : workspace.clips;
        std::vector<WClip> tracks;
        std::ranges::copy_if(workspace.clips, std::back_inserter(tracks),
                             [&](const WClip& clip) { return plan.only->contains(clip.id); });
        return tracks;
    };
    std::vector<Workspace> work;
    for (const Workspace& workspace : workspaces_)
        if (plan.only ? !tracksOf(workspace).empty() : selected_.contains(workspace.id))
            work.push_back(workspace);
    // USB sticks and SD cards take fewer names than Linux disks.
    const FileNames::NameRules rules = FileNames::nameRulesFor(destination);
    const auto folderOf = [rules](const Workspace& workspace) {
        return FileNames::sanitize(workspace.name, rules);
    };

    const SaveAtEnd saveAtEnd(saved);
    if (saved.read() == SavedTracks::Read::setAside)
        addLog(Translation::fill(
            _("The record of saved tracks was damaged and was set aside as {file}; files "
              "saved before count as yours."),
            {{"file", WriteError::displayPath(saved.badFile().filename())}}));

    // Which file is whose, and so which tracks are in place and which names
    // are taken, is settled once, before anything is written.
    std::map<std::string, WorkspaceFolder> folders;
    std::map<std::string, std::set<std::string>> clipsByFolder;
    for (const Workspace& workspace : work) {
        tally.total += tracksOf(workspace).size();
        const std::string name = folderOf(workspace);
        removeLeftovers(destination / name);
        folders.try_emplace(name, destination, name, rules, saved);
        for (const WClip& track : tracksOf(workspace))
            clipsByFolder[name].insert(track.id);
    }
    for (auto& [name, folder] : folders)
        folder.prepare(clipsByFolder[name]);
    std::set<std::string> inPlace;
    std::vector<std::string> toFetch;
    for (const Workspace& workspace : work)
        for (const WClip& track : tracksOf(workspace)) {
            if ((skipSaved_ || plan.skipSaved) &&
                folders.at(folderOf(workspace)).holdsOwnFile(track.id))
                inPlace.insert(track.id);
            else
                toFetch.push_back(track.id);
        }
    tally.toFetch.insert(toFetch.begin(), toFetch.end());
    // Kept from the start, so that a crash leaves it too.
    keepUnfinished(destination, tally.toFetch, false);
    UpcomingTracks upcoming(std::move(toFetch));
    const Lend lent(upcoming_, prepareUpcoming_ ? &upcoming : nullptr);
    std::size_t position = 0; // of the next track to fetch in the first pass

    const auto updateFraction = [&] {
        setFraction(tally.total == 0
                        ? 0.0
                        : double(tally.saved + tally.kept + tally.failed) / double(tally.total));
    };
    const auto logSaved = [this](const WClip& track, const WorkspaceFolder::Placed& placed,
                                 const std::string& suffix) {
        if (placed.keptChanged)
            addLog(Translation::fill(
                // Translators: {kept} and {saved} are file names.
                _("Kept your changed file {kept}; saved the new copy as {saved}"),
                {{"kept", isolated(*placed.keptChanged)}, {"saved", isolated(placed.name)}}));
        if (placed.untagged)
            addLog(Translation::fill(_("Saved without track details: {title}"),
                                     {{"title", isolated(track.title)}}));
        addLog(Translation::fill(_("Saved: {title}"), {{"title", isolated(track.title)}}) + suffix);
    };
    // Set when the disk refuses a write for good: the run ends after
    // recording the tracks of this workspace that are left.
    std::optional<std::string> stopped;

    for (std::size_t w = 0; w < work.size() && !stopped; ++w) {
        if (cancelFlag_)
            break;
        const Workspace& workspace = work[w];
        const std::vector<WClip> tracks = tracksOf(workspace);
        WorkspaceFolder& folder = folders.at(folderOf(workspace));
        const std::string prefix =
            // Translators: the state of a run; {workspace} is a workspace's name.
            Translation::fill(_("Workspace {number} of {total}: {workspace}"),
                              {{"number", Translation::number(std::int64_t(w + 1))},
                               {"total", Translation::number(std::int64_t(work.size()))},
                               {"workspace", isolated(workspace.name)}});
        const std::string heading = Translation::counted(
            // Translators: a line of the activity log as a workspace begins; {workspace} is
            // its name.
            std::int64_t(tracks.size()), "{workspace} — {count} file",
            "{workspace} — {count} files", {{"workspace", isolated(workspace.name)}});
        // Only the workspace's own folder is made: a destination that has
        // gone since the run began is not made again on another disk.
        std::error_code error;
        std::filesystem::create_directory(folder.path(), error);
        if (error) {
            const WriteError failure(folder.path(), error.value());
            if (reachOf(failure, destination, folder.path()) == Reach::run) {
                addLog(failure.what());
                co_return failure.what();
            }
            // A folder the disk refuses fails this workspace only.
            addLog(heading);
            addLog(failure.what());
            for (const WClip& track : tracks)
                recordFailure(track, workspace, tally, std::nullopt);
            continue;
        }
        addLog(heading);

        std::vector<WClip> retry;
        // Set when the disk refuses the folder: its tracks left all fail.
        bool folderRefused = false;
        for (std::size_t t = 0; t < tracks.size() && !stopped; ++t) {
            if (cancelFlag_)
                break;
            const WClip& track = tracks[t];
            setOverall(
                // Translators: {workspaceLine} is "Workspace 1 of 3: Demos".
                Translation::fill(_("{workspaceLine} — track {number} of {total}"),
                                  {{"workspaceLine", prefix},
                                   {"number", Translation::number(std::int64_t(t + 1))},
                                   {"total", Translation::number(std::int64_t(tracks.size()))}}));
            if (inPlace.contains(track.id)) {
                ++tally.kept;
                addLog(Translation::fill(_("Already saved: {title}"),
                                         {{"title", isolated(track.title)}}));
                updateFraction();
                continue;
            }
            if (folderRefused) {
                recordFailure(track, workspace, tally, std::nullopt);
                continue;
            }
            upcoming.reach(position++);
            const Attempt result =
                co_await attempt(track, workspace.name, folder, destination, stopped);
            if (stopped) {
                retry.push_back(track);
                break;
            }
            if (result.placed) {
                ++tally.saved;
                tally.savedIds.insert(track.id);
                logSaved(track, *result.placed, "");
            } else if (result.folderRefused) {
                folderRefused = true;
                addLog(*result.refused);
                recordFailure(track, workspace, tally, std::nullopt);
                continue;
            } else if (result.refused) {
                recordFailure(track, workspace, tally, result.refused);
                continue;
            } else {
                retry.push_back(track);
                addLog(Translation::fill(_("Slow to process, queued for retry: {title}"),
                                         {{"title", isolated(track.title)}}));
            }
            updateFraction();
        }

        for (int round = 1; !retry.empty() && !cancelFlag_ && !stopped && !folderRefused &&
                            round <= RunLimits::maxRetryRounds;
             ++round) {
            addLog(Translation::counted(
                std::int64_t(retry.size()),
                // Translators: {round} counts the rounds of retries (1 to 8).
                "{workspace}: retry {round} — {count} remaining",
                "{workspace}: retry {round} — {count} remaining",
                {{"workspace", isolated(workspace.name)}, {"round", Translation::number(round)}}));
            co_await rest(RunLimits::pauseBeforeRound);
            const std::vector<WClip> input = std::move(retry);
            std::vector<WClip> stillFailing;
            for (std::size_t i = 0; i < input.size(); ++i) {
                if (cancelFlag_)
                    break;
                const WClip& track = input[i];
                // Translators: {workspaceLine} is "Workspace 1 of 3: Demos", {title} a track's
                // title.
                setOverall(Translation::fill(_("{workspaceLine} — retry {round}: {title}"),
                                             {{"workspaceLine", prefix},
                                              {"round", Translation::number(round)},
                                              {"title", isolated(track.title)}}));
                const Attempt result =
                    co_await attempt(track, workspace.name, folder, destination, stopped);
                if (stopped || result.folderRefused) {
                    folderRefused = result.folderRefused;
                    if (folderRefused)
                        addLog(*result.refused);
                    stillFailing.insert(stillFailing.end(), input.begin() + std::ptrdiff_t(i),
                                        input.end());
                    break;
                }
                if (result.placed) {
                    ++tally.saved;
                    tally.savedIds.insert(track.id);
                    logSaved(track, *result.placed,
                             // Translators: added to "Saved: {title}" when a retry saved the track.
                             Translation::fill(_(" (retry {round})"),
                                               {{"round", Translation::number(round)}}));
                } else if (result.refused) {
                    recordFailure(track, workspace, tally, result.refused);
                    continue;
                } else {
                    stillFailing.push_back(track);
                }
                updateFraction();
            }
            // A track refused for good counts as progress: it left the list.
            const bool progress = stillFailing.size() < input.size();
            retry = std::move(stillFailing);
            if (!progress && !stopped && !folderRefused) {
                addLog(Translation::counted(
                    std::int64_t(retry.size()),
                    "{workspace}: {count} track could not be completed after repeated attempts",
                    "{workspace}: {count} tracks could not be completed after repeated attempts",
                    {{"workspace", isolated(workspace.name)}}));
                break;
            }
        }

        // Tracks left when the sign-in was lost are no fault of the service.
        for (const WClip& track : signedOut_ ? std::vector<WClip>() : retry)
            recordFailure(track, workspace, tally, std::nullopt);
        try {
            saved.save();
        } catch (const RecordError& failure) {
            stopped = failure.what();
            addLog(*stopped);
        }
    }
    co_return stopped;
}
