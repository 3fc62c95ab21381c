#include "manager/DownloadManager.hpp"
#include "model/Translation.hpp"

#include <unordered_map>

namespace {

namespace ScanLimits {
constexpr int attemptsPerPage = 7;
constexpr double pauseAfterFailedAttempt = 1.5;
constexpr double pauseBetweenPages = 0.25;
constexpr int cursorRereads = 6;
constexpr double pauseBeforeReread = 1.2;
constexpr int maxPages = 4000;
} // namespace ScanLimits

// The page's cursor; an empty one names no page.
std::optional<std::string> nextCursorOf(const FeedPage& page) {
    if (page.nextCursor && page.nextCursor->empty())
        return std::nullopt;
    return page.nextCursor;
}

} // namespace

Task<std::optional<FeedPage>> DownloadManager::fetchPage(std::optional<std::string> cursor) {
    for (int attempt = 1; attempt <= ScanLimits::attemptsPerPage; ++attempt) {
        try {
            co_return co_await bridge.feedPage(cursor);
        } catch (...) {
            // Every failure is retried alike; only the outcome is shown.
        }
        if (signedOut_)
            break;
        if (attempt < ScanLimits::attemptsPerPage)
            co_await rest(ScanLimits::pauseAfterFailedAttempt);
    }
    co_return std::nullopt;
}

Task<void> DownloadManager::scan(ScanScope scope) {
    const ActivityEnd end(*this, scanning_, Property::scanning);
    setScanning(true);
    signedOut_ = false;
    lastScanComplete_ = false;
    try {
        co_await scanFeed(std::move(scope));
    } catch (const std::exception& error) {
        setScanStatus(Translation::fill(_("Scan stopped: {reason}"), {{"reason", error.what()}}));
    } catch (...) {
        setScanStatus(
            Translation::fill(_("Scan stopped: {reason}"), {{"reason", _("unknown error")}}));
    }
}

Task<void> DownloadManager::scanFeed(ScanScope scope) {
    const std::string label = scope.label();
    setScanStatus(scope.isFull() ? std::string(_("Scanning (full)…"))
                                 // Translators: the scan of the most recent workspaces.
                                 : Translation::counted(scope.count(), "Scanning (recent {count})…",
                                                        "Scanning (recent {count})…"));

    std::vector<Workspace> found; // in order of first appearance
    std::unordered_map<std::string, std::size_t> index;
    std::optional<std::string> cursor;
    std::int64_t tracks = 0;
    int pages = 0;
    bool completed = false, limitReached = false, interrupted = false;

    while (pages < ScanLimits::maxPages) {
        auto page = co_await fetchPage(cursor);
        if (!page) {
            interrupted = true;
            break;
        }
        for (const RawClip& clip : page->clips) {
            // Clips outside any workspace never reach the library.
            if (clip.projectId.empty())
                continue;
            auto known = index.find(clip.projectId);
            if (known == index.end()) {
                if (!scope.isFull() && std::int64_t(found.size()) >= scope.count()) {
                    limitReached = true;
                    break;
                }
                known = index.emplace(clip.projectId, found.size()).first;
                found.push_back(Workspace{clip.projectId, clip.projectName, {}});
            }
            ++tracks;
            found[known->second].clips.push_back(WClip{clip.id, clip.title, clip.liked});
        }
        if (limitReached)
            break;
        ++pages;
        setScanStatus(Translation::fill(
            // Translators: {workspaces} is "3 workspaces", {tracks} is "40 tracks".
            _("Scanning your library… {workspaces}, {tracks} found"),
            {{"workspaces", workspacesText(std::int64_t(found.size()))},
             {"tracks", tracksText(tracks)}}));
        if (!page->hasMore) {
            completed = true;
            break;
        }
        // A page that announces more but names no next page is read again:
        // only its cursor is used.
        auto next = nextCursorOf(*page);
        for (int reread = 0; !next && reread < ScanLimits::cursorRereads; ++reread) {
            co_await rest(ScanLimits::pauseBeforeReread);
            if (auto again = co_await fetchPage(cursor))
                next = nextCursorOf(*again);
        }
        if (!next) {
            interrupted = true;
            break;
        }
        cursor = std::move(next);
        co_await rest(ScanLimits::pauseBetweenPages);
    }

    // The library stays as it was for when the user has signed in again.
    if (signedOut_) {
        setScanStatus(_(signedOutText));
        co_return;
    }
    const std::size_t workspaceCount = found.size();
    setWorkspaces(std::move(found));
    if (completed || limitReached) {
        lastScanComplete_ = true;
        saveCache(label);
        setScanStatus(Translation::fill(
            // Translators: {workspaces} is "3 workspaces", {tracks} is "40 tracks".
            _("{workspaces} found ({tracks})."),
            {{"workspaces", workspacesText(std::int64_t(workspaceCount))},
             {"tracks", tracksText(tracks)}}));
    } else if (interrupted) {
        setScanStatus(
            Translation::counted(tracks, "Scan interrupted at {count} track. Please scan again.",
                                 "Scan interrupted at {count} tracks. Please scan again."));
    } else {
        setScanStatus(_("Scan incomplete."));
    }
}
