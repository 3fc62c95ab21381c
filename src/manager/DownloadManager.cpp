#include "manager/DownloadManager.hpp"

#include "manager/DiskPlace.hpp"
#include "manager/PrivateFile.hpp"
#include "manager/SavedTracks.hpp"
#include "manager/StoredPath.hpp"
#include "model/LibrarySnapshot.hpp"
#include "model/Translation.hpp"

#include <algorithm>

DownloadManager::DownloadManager(OrvoService& bridge, Clock& clock, SettingsStore& settings,
                                 FileDownloader& downloader, std::filesystem::path dataFolder)
    : bridge(bridge), clock_(clock), settings_(settings), downloader_(downloader),
      dataFolder_(std::move(dataFolder)) {
    // Through the setter, so the stored path is written back unchanged.
    if (auto path = settings_.string(destFolderKey); path && !path->empty())
        setDestFolder(StoredPath::path(*path));
    prepareUpcoming_ = settings_.boolean(prepareUpcomingKey);
    skipSaved_ = settings_.boolean(skipSavedKey);
    tagFiles_ = settings_.boolean(tagFilesKey);
    // What a crash or a kill cut short while it was written; each of these
    // files is whole under its own name.
    for (const std::filesystem::path& file :
         {cacheURL(), savedTracksURL(), SavedTracks::journalFile(savedTracksURL()),
          unfinishedURL()})
        PrivateFile::removeLeftovers(file);
    // What a run cut short by a crash left in the journal; should that fail,
    // the next run reads the journal all the same.
    try {
        SavedTracks::recover(savedTracksURL());
    } catch (const RecordError&) {
    }
    loadUnfinished();
}

void DownloadManager::setSelected(std::set<std::string> ids) {
    publish(selected_, std::move(ids), Property::selected);
}

void DownloadManager::select(const std::string& workspaceId, bool on) {
    const bool changed = on ? selected_.insert(workspaceId).second : selected_.erase(workspaceId);
    if (changed)
        changed_.emit(Property::selected);
}

void DownloadManager::setLikedOnly(bool likedOnly) {
    publish(likedOnly_, likedOnly, Property::likedOnly);
}

void DownloadManager::setPrepareUpcoming(bool on) {
    settings_.setBoolean(prepareUpcomingKey, on);
    publish(prepareUpcoming_, on, Property::prepareUpcoming);
}

void DownloadManager::setSkipSaved(bool on) {
    settings_.setBoolean(skipSavedKey, on);
    publish(skipSaved_, on, Property::skipSaved);
}

void DownloadManager::setTagFiles(bool on) {
    settings_.setBoolean(tagFilesKey, on);
    publish(tagFiles_, on, Property::tagFiles);
}

void DownloadManager::setRecentCount(std::int64_t count) {
    publish(recentCount_, count, Property::recentCount);
}

void DownloadManager::setDestFolder(std::optional<std::filesystem::path> folder) {
    // An empty path would put the workspace folders wherever the app was
    // started from.
    if (folder && folder->empty())
        folder.reset();
    settings_.set(destFolderKey, folder ? std::optional(StoredPath::text(*folder)) : std::nullopt);
    otherDiskConfirmed_ = otherDiskRefused_;
    publish(destFolder_, std::move(folder), Property::destFolder);
}

std::int64_t DownloadManager::queuedTrackCount() const {
    std::int64_t count = 0;
    for (const Workspace& workspace : workspaces_) {
        if (!selected_.contains(workspace.id))
            continue;
        if (likedOnly_) {
            for (const WClip& clip : workspace.clips)
                count += clip.liked;
        } else {
            count += std::int64_t(workspace.clips.size());
        }
    }
    return count;
}

std::filesystem::path DownloadManager::cacheURL() const {
    return dataFolder_ / "library.json";
}

std::filesystem::path DownloadManager::savedTracksURL() const {
    return dataFolder_ / "saved-tracks.json";
}

std::filesystem::path DownloadManager::unfinishedURL() const {
    return dataFolder_ / "unfinished-run.json";
}

void DownloadManager::loadUnfinished() {
    const auto text = PrivateFile::read(unfinishedURL());
    std::optional<UnfinishedRun> run = text ? UnfinishedRun::decode(*text) : std::nullopt;
    if (!run)
        return;
    // A run cut short by a crash was last written when it began: the
    // record says which of its tracks were saved since.
    try {
        const SavedTracks saved(savedTracksURL(), run->destination,
                                DiskPlace::of(run->destination));
        for (const auto& [folder, clips] : saved.folders())
            for (const auto& [clipId, file] : clips)
                run->left -= run->clipIds.contains(clipId);
    } catch (const RecordError&) {
        // The run itself will say what is wrong with the record.
    }
    if (run->left > 0)
        unfinished_ = std::move(run);
}

void DownloadManager::keepUnfinished(const std::filesystem::path& destination,
                                     std::set<std::string> left, bool offer) {
    if (left.empty()) {
        std::error_code ignored;
        std::filesystem::remove(unfinishedURL(), ignored);
        publish(unfinished_, std::optional<UnfinishedRun>(), Property::unfinished);
        return;
    }
    UnfinishedRun run{destination,      selected_, likedOnly_,
                      prepareUpcoming_, tagFiles_, std::move(left)};
    run.left = run.clipIds.size();
    // Not kept is the same as dismissed: nothing worse than today.
    PrivateFile::write(unfinishedURL(), run.encode());
    if (offer) {
        unfinished_ = std::move(run);
        changed_.emit(Property::unfinished);
    }
}

void DownloadManager::dismissUnfinished() {
    keepUnfinished({}, {}, false);
}

Task<void> DownloadManager::resume() {
    if (!unfinished_ || running_ || scanning_)
        co_return;
    const UnfinishedRun run = *unfinished_;
    // With no library (signed out since, or its cache gone), the run would
    // find nothing to fetch and be taken for finished.
    const bool known = std::ranges::any_of(workspaces_, [&](const Workspace& workspace) {
        return std::ranges::any_of(
            workspace.clips, [&](const WClip& clip) { return run.clipIds.contains(clip.id); });
    });
    if (!known) {
        setOverall(_("Scan your library first: the tracks of your last download are not in it."));
        co_return;
    }
    setDestFolder(run.destination);
    setSelected(run.selected);
    setLikedOnly(run.likedOnly);
    setPrepareUpcoming(run.prepareUpcoming);
    setTagFiles(run.tagFiles);
    plan_ = RunPlan{run.clipIds, true};
    co_await start();
}

Task<void> DownloadManager::startKeepingSaved() {
    plan_ = RunPlan{std::nullopt, true};
    co_await start();
}

Task<void> DownloadManager::retryFailed() {
    if (failures_.empty() || running_ || scanning_)
        co_return;
    std::set<std::string> ids;
    for (const FailedItem& failure : failures_)
        ids.insert(failure.id);
    plan_ = RunPlan{std::move(ids), false};
    co_await start();
}

std::string DownloadManager::failuresText() const {
    std::string text;
    for (const FailedItem& failure : failures_)
        text +=
            failure.title + '\t' + failure.workspace + '\t' + failure.orvoURL().value_or("") + '\n';
    return text;
}

void DownloadManager::saveCache(const std::string& scope) {
    LibrarySnapshot snapshot{workspaces_, clock_.date(), scope};
    publish(lastScanned_, std::optional(snapshot.scannedAt), Property::lastScanned);
    publish(lastScope_, std::optional(scope), Property::lastScope);
    // A failed write keeps the earlier file; nothing is reported.
    PrivateFile::write(cacheURL(), snapshot.encode());
}

void DownloadManager::signedOut() {
    if (!running_ && !scanning_)
        return;
    signedOut_ = true;
    cancel();
}

void DownloadManager::forgetLibrary() {
    std::error_code ignored;
    std::filesystem::remove(cacheURL(), ignored);
    setWorkspaces({});
    setSelected({});
    publish(lastScanned_, std::optional<Date>(), Property::lastScanned);
    publish(lastScope_, std::optional<std::string>(), Property::lastScope);
}

void DownloadManager::loadCache() {
    if (!workspaces_.empty())
        return;
    auto text = PrivateFile::read(cacheURL());
    if (!text)
        return;
    LibrarySnapshot snapshot;
    try {
        snapshot = LibrarySnapshot::decode(*text);
    } catch (const std::exception&) { // not a library this app wrote
        return;
    }
    const std::size_t count = snapshot.workspaces.size();
    setWorkspaces(std::move(snapshot.workspaces));
    publish(lastScanned_, std::optional(snapshot.scannedAt), Property::lastScanned);
    publish(lastScope_, std::move(snapshot.scope), Property::lastScope);
    setScanStatus(Translation::fill(
        // Translators: {workspaces} is "3 workspaces".
        _("Showing your most recent scan ({workspaces})."),
        {{"workspaces", workspacesText(std::int64_t(count))}}));
}

std::string DownloadManager::workspacesText(std::int64_t count) {
    return Translation::counted(count, "{count} workspace", "{count} workspaces");
}

std::string DownloadManager::tracksText(std::int64_t count) {
    return Translation::counted(count, "{count} track", "{count} tracks");
}

void DownloadManager::showLog(const std::vector<std::string>& lines) {
    if (!log_.empty() || lines.empty())
        return;
    for (const std::string& line : lines)
        log_.push_back(line);
    while (log_.size() > maxLogLines)
        log_.pop_front();
    changed_.emit(Property::log);
}

void DownloadManager::addLog(std::string line) {
    log_.push_back(std::move(line));
    while (log_.size() > maxLogLines)
        log_.pop_front();
    changed_.emit(Property::log);
}

Task<void> DownloadManager::rest(double seconds) {
    try {
        co_await clock_.pause(seconds);
    } catch (...) {
        // An interrupted pause just ends early.
    }
}

void DownloadManager::endActivity(bool& flag, Property property) noexcept {
    if (!flag)
        return;
    flag = false;
    try {
        changed_.emit(property);
    } catch (...) {
        // An observer that fails now cannot be told anything more; the
        // flag is off all the same, so the window is not left locked.
    }
}
