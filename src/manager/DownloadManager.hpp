#pragma once
#include "async/Clock.hpp"
#include "async/Task.hpp"
#include "download/FileDownloader.hpp"
#include "manager/SettingsStore.hpp"
#include "manager/UnfinishedRun.hpp"
#include "manager/UpcomingTracks.hpp"
#include "manager/WorkspaceFolder.hpp"
#include "model/Date.hpp"
#include "model/FailedItem.hpp"
#include "model/ScanScope.hpp"
#include "model/Translation.hpp"
#include "model/Workspace.hpp"
#include "session/FeedPage.hpp"
#include "session/OrvoService.hpp"

#include <cstdint>
#include <deque>
#include <filesystem>
#include <optional>
#include <set>
#include <sigc++/signal.h>
#include <string>
#include <vector>

// The app's one model object: the scanned library, the user's choices for
// the next download, the progress of a scan and of a download run, the
// failures and the activity log. Views read its properties, call its
// operations, and redraw when signalChanged() names a property.
//
// Everything runs on the main thread; the async operations suspend only
// while they wait for the service, a transfer or a pause.
class DownloadManager {
  public:
    // The published properties, named in change notifications.
    enum class Property {
        workspaces,
        failures,
        selected,
        likedOnly,
        prepareUpcoming,
        skipSaved,
        tagFiles,
        recentCount,
        destFolder,
        lastScanned,
        lastScope,
        scanning,
        scanStatus,
        running,
        overall,
        current,
        fraction,
        log,
        unfinished,
    };

    // Settings keys.
    static constexpr const char* destFolderKey = "destFolder";
    static constexpr const char* prepareUpcomingKey = "prepareUpcomingTracks";
    static constexpr const char* skipSavedKey = "skipSavedTracks";
    static constexpr const char* tagFilesKey = "addTrackDetails";

    // The log keeps the newest lines only.
    static constexpr std::size_t maxLogLines = 600;

    // Restores the destination folder and the three run options from the
    // settings. library.json and the saved-track record live in dataFolder. The app passes its
    // bridge, a GlibClock, KeyFileSettings on AppFolders::settingsFile(), a SoupDownloader and
    // AppFolders::data.
    DownloadManager(OrvoService& bridge, Clock& clock, SettingsStore& settings,
                    FileDownloader& downloader, std::filesystem::path dataFolder);
    DownloadManager(const DownloadManager&) = delete;
    DownloadManager& operator=(const DownloadManager&) = delete;

    // Emitted after every change of a published property.
    sigc::signal<void(Property)>& signalChanged() { return changed_; }

    const std::vector<Workspace>& workspaces() const { return workspaces_; }
    const std::vector<FailedItem>& failures() const { return failures_; }
    const std::set<std::string>& selected() const { return selected_; }
    bool likedOnly() const { return likedOnly_; }
    // Run options, all off unless the user turns them on: ask the service
    // to convert the next few tracks while one is polled, leave alone the
    // tracks whose files an earlier run saved and which are still there,
    // and write each track's title, workspace and address into its file.
    bool prepareUpcoming() const { return prepareUpcoming_; }
    bool skipSaved() const { return skipSaved_; }
    bool tagFiles() const { return tagFiles_; }
    std::int64_t recentCount() const { return recentCount_; }
    const std::optional<std::filesystem::path>& destFolder() const { return destFolder_; }
    const std::optional<Date>& lastScanned() const { return lastScanned_; }
    const std::optional<std::string>& lastScope() const { return lastScope_; }
    bool scanning() const { return scanning_; }
    // Whether the last scan read the library to its end (or its limit).
    bool lastScanComplete() const { return lastScanComplete_; }
    const std::string& scanStatus() const { return scanStatus_; }
    bool running() const { return running_; }
    const std::string& overall() const { return overall_; }
    const std::string& current() const { return current_; }
    double fraction() const { return fraction_; }
    const std::deque<std::string>& log() const { return log_; }
    // The last run, when it did not reach its end and tracks of it are
    // still to fetch: kept across restarts until it is finished, dismissed
    // or replaced by another run.
    const std::optional<UnfinishedRun>& unfinished() const { return unfinished_; }
    // What the last run that started did: files saved, left in place, failed.
    struct RunCounts {
        std::size_t saved = 0, kept = 0, failed = 0;
        bool operator==(const RunCounts&) const = default;
    };
    const RunCounts& lastRunCounts() const { return lastRunCounts_; }

    // What the views may change.
    void setSelected(std::set<std::string> ids);
    void select(const std::string& workspaceId, bool on);
    void setLikedOnly(bool likedOnly);
    // Stored in the settings under their keys.
    void setPrepareUpcoming(bool on);
    void setSkipSaved(bool on);
    void setTagFiles(bool on);
    void setRecentCount(std::int64_t count);
    // Also stores the folder's path under "destFolder" (or removes it).
    void setDestFolder(std::optional<std::filesystem::path> folder);

    // Tracks the next run would fetch: the selected workspaces' clips (liked
    // ones only when likedOnly), counted afresh on every call.
    std::int64_t queuedTrackCount() const;

    // Shows the activity log of a run held elsewhere (one that ran with
    // nobody watching), unless a log is already shown.
    void showLog(const std::vector<std::string>& lines);

    // Restores the last saved library, unless a library is already held.
    void loadCache();

    // Asks a running download to stop at its next checkpoint; a transfer
    // under way ends at once.
    void cancel() {
        cancelFlag_ = true;
        cancelled_.emit();
    }

    // The page lost its sign-in: a run stops at its next checkpoint with
    // "Stopped: signed out of Orvo", keeping what it saved and listing none
    // of the tracks left as failures; a scan ends with the same status.
    void signedOut();
    // How a run ends: overall() holds their translations.
    // Translators: how a download run ended.
    static constexpr const char* signedOutText = N_("Stopped: signed out of Orvo");
    static constexpr const char* cancelledText = N_("Cancelled");
    static constexpr const char* completeText = N_("Complete");
    // "3 workspaces", "40 tracks": the counts the scan's texts are made of.
    static std::string workspacesText(std::int64_t count);
    static std::string tracksText(std::int64_t count);

    // Signing out: forgets the library, its cache file and the selection.
    void forgetLibrary();

    // Reads the library feed and replaces the library (library scan).
    Task<void> scan(ScanScope scope);

    // Downloads the selected workspaces into destFolder (download run).
    // Returns at once when there is no destination or a run is active, and
    // says so in overall() when the destination folder is gone. A name or a
    // folder the disk refuses fails its tracks; a full, read-only or failing
    // disk ends the run with its reason.
    Task<void> start();
    // The same, leaving alone the tracks saved before whatever the switch
    // says (a run with nobody watching).
    Task<void> startKeepingSaved();

    // Finishes the unfinished run: its destination, selection and switches
    // come back, and only its tracks that the record of saved tracks does
    // not hold are fetched.
    Task<void> resume();
    void dismissUnfinished();
    // Runs again just the tracks the last run could not fetch.
    Task<void> retryFailed();
    // The failures as lines of title, workspace and address, separated by
    // tabs, for a spreadsheet or a note.
    std::string failuresText() const;

    // Where library.json is kept.
    std::filesystem::path cacheURL() const;
    // Where the run records which clip it saved as which file.
    std::filesystem::path savedTracksURL() const;
    // Where the unfinished run is kept.
    std::filesystem::path unfinishedURL() const;

    // Used by the download run and its tests. fetchTrack says where it saved
    // the file, and folds every failure into none except WriteError and
    // AddressRefused, which the run decides on. The workspace's name goes
    // into the file's details.
    Task<std::optional<WorkspaceFolder::Placed>>
    fetchTrack(WClip track, std::string workspace, WorkspaceFolder& folder, double pollSeconds);
    Task<std::optional<std::string>> pollWav(WClip track, double seconds);
    Task<PartFile> download(std::string url, std::filesystem::path folder);

  private:
    struct RunTally {
        std::size_t total = 0, saved = 0, kept = 0, failed = 0;
        // The tracks the run set out to fetch, and those it saved.
        std::set<std::string> toFetch, savedIds;
    };
    // Which tracks the next run takes when they are not the selection's
    // (a resumed run, a retry), and whether tracks saved before are left
    // alone whatever the switch says.
    struct RunPlan {
        std::optional<std::set<std::string>> only;
        bool skipSaved = false;
    };
    // What became of one attempt at a track within a run.
    struct Attempt {
        std::optional<WorkspaceFolder::Placed> placed;
        // The disk refused the track's name, or the whole folder, or the
        // address was refused: trying again cannot help. The reason.
        std::optional<std::string> refused;
        bool folderRefused = false;
    };
    // Turns an activity flag off when the operation ends, however it ends.
    class ActivityEnd {
      public:
        ActivityEnd(DownloadManager& manager, bool& flag, Property property)
            : manager_(manager), flag_(flag), property_(property) {}
        ~ActivityEnd() { manager_.endActivity(flag_, property_); }
        ActivityEnd(const ActivityEnd&) = delete;
        ActivityEnd& operator=(const ActivityEnd&) = delete;

      private:
        DownloadManager& manager_;
        bool& flag_;
        Property property_;
    };

    // The bodies of scan() and start(), which make sure that whatever
    // escapes them ends the activity with its reason shown.
    Task<void> scanFeed(ScanScope scope);
    // Returns why the run stopped early, when the disk refused a write.
    Task<std::optional<std::string>> downloadWorkspaces(std::filesystem::path destination,
                                                        SavedTracks& saved, RunPlan plan,
                                                        RunTally& tally);
    // Keeps the run's choices with the tracks it has not saved, or forgets
    // them when none is left.
    void keepUnfinished(const std::filesystem::path& destination, std::set<std::string> left,
                        bool offer);
    void loadUnfinished();
    void endActivity(bool& flag, Property property) noexcept;

    void saveCache(const std::string& scope);
    void addLog(std::string line);
    Task<std::optional<FeedPage>> fetchPage(std::optional<std::string> cursor);
    // A pause that ends early on failure rather than throwing.
    Task<void> rest(double seconds);
    // The next upcoming track to ask a conversion for, while a run that
    // prepares tracks is under way and not cancelled.
    std::optional<std::string> nextToPrepare();
    // fetchTrack within a run: a disk failure that ends the run sets
    // stopped (and logs it) instead of throwing.
    Task<Attempt> attempt(WClip track, std::string workspace, WorkspaceFolder& folder,
                          const std::filesystem::path& destination,
                          std::optional<std::string>& stopped);
    // Lists a track the run gives up on, and logs it with the reason when
    // there is one.
    void recordFailure(const WClip& track, const Workspace& workspace, RunTally& tally,
                       const std::optional<std::string>& reason);

    template <typename T> void publish(T& field, T value, Property property) {
        if (field == value)
            return;
        field = std::move(value);
        changed_.emit(property);
    }
    void setWorkspaces(std::vector<Workspace> value) {
        workspaces_ = std::move(value);
        changed_.emit(Property::workspaces);
    }
    void setScanning(bool value) { publish(scanning_, value, Property::scanning); }
    void setScanStatus(std::string value) {
        publish(scanStatus_, std::move(value), Property::scanStatus);
    }
    void setRunning(bool value) { publish(running_, value, Property::running); }
    void setOverall(std::string value) { publish(overall_, std::move(value), Property::overall); }
    void setCurrent(std::string value) { publish(current_, std::move(value), Property::current); }
    void setFraction(double value) { publish(fraction_, value, Property::fraction); }

    OrvoService& bridge;
    Clock& clock_;
    SettingsStore& settings_;
    FileDownloader& downloader_;
    std::filesystem::path dataFolder_;
    sigc::signal<void(Property)> changed_;

    std::vector<Workspace> workspaces_;
    std::vector<FailedItem> failures_;
    std::set<std::string> selected_;
    bool likedOnly_ = true;
    bool prepareUpcoming_ = false;
    bool skipSaved_ = false;
    bool tagFiles_ = false;
    std::int64_t recentCount_ = 20;
    std::optional<std::filesystem::path> destFolder_;
    // A run was refused because the destination is on another disk than
    // last time; choosing the folder again after that says it is meant.
    bool otherDiskRefused_ = false;
    bool otherDiskConfirmed_ = false;
    std::optional<Date> lastScanned_;
    std::optional<std::string> lastScope_;
    bool scanning_ = false;
    bool lastScanComplete_ = false;
    std::string scanStatus_;
    bool running_ = false;
    std::string overall_;
    std::string current_;
    double fraction_ = 0.0;
    std::deque<std::string> log_;
    std::optional<UnfinishedRun> unfinished_;
    RunPlan plan_;
    RunCounts lastRunCounts_;
    bool cancelFlag_ = false;
    bool signedOut_ = false; // the current scan or run lost the sign-in
    CancelSignal cancelled_;
    // The run's upcoming tracks while it prepares them.
    UpcomingTracks* upcoming_ = nullptr;
};
