#include "ui/PanelState.hpp"

#include "ui/DateText.hpp"
#include "ui/DisplayText.hpp"

#include <algorithm>
#include <cmath>
#include <glib.h>

namespace PanelState {

std::string lastScanLine(const std::optional<Date>& lastScanned) {
    return lastScanned ? "Last scan: " + DateText::abbreviated(*lastScanned) : "No scan yet";
}

std::int64_t recentCountFrom(double value) {
    const auto steps = std::int64_t(std::llround(value / double(recentStep)));
    return std::clamp(steps * recentStep, minRecent, maxRecent);
}

std::string recentLabel(std::int64_t recentCount) {
    return "Recent: " + std::to_string(recentCount) + " workspaces";
}

std::string scanRecentLabel(bool scanning, std::int64_t recentCount) {
    return scanning ? "Scanning…" : "Scan recent (" + std::to_string(recentCount) + ")";
}

bool scanControlsEnabled(const DownloadManager& manager) {
    return !manager.scanning() && !manager.running();
}

bool choicesEnabled(const DownloadManager& manager) { return !manager.running(); }

std::string emptyListText(bool scanning) {
    return scanning ? "Scanning…"
                    : "No library loaded. Select “Scan recent” or “Scan all” to begin.";
}

std::string likedBadge(const Workspace& workspace) {
    std::size_t liked = 0;
    for (const WClip& clip : workspace.clips)
        liked += clip.liked;
    return std::to_string(liked) + " liked";
}

std::string totalText(const Workspace& workspace) {
    return std::to_string(workspace.clips.size()) + " total";
}

std::optional<std::string> destinationPath(const DownloadManager& manager) {
    if (!manager.destFolder())
        return std::nullopt;
    // A path that is not UTF-8 is shown with its odd bytes escaped.
    gchar* shown = g_filename_display_name(manager.destFolder()->c_str());
    std::string text = DisplayText::line(shown);
    g_free(shown);
    return text;
}

bool downloadBlocked(const DownloadManager& manager) {
    return manager.running() || manager.selected().empty() || !manager.destFolder();
}

std::string downloadLabel(bool running) {
    return running ? "Downloading…" : "Download selected";
}

std::string queuedBadge(std::int64_t queued) { return std::to_string(queued) + " queued"; }

bool progressShown(const DownloadManager& manager) {
    return manager.running() || !manager.overall().empty();
}

std::string runEndTitle(const std::string& overall) {
    return overall == "Complete" ? "Download complete" : "Download stopped";
}

std::string failuresTitle(std::size_t count) {
    return "Unable to download automatically (" + std::to_string(count) + ")";
}

Snapshot of(const DownloadManager& manager) {
    Snapshot s;
    s.lastScan = lastScanLine(manager.lastScanned());
    s.recentLabel = recentLabel(manager.recentCount());
    s.scanRecentLabel = scanRecentLabel(manager.scanning(), manager.recentCount());
    s.scanControlsEnabled = scanControlsEnabled(manager);
    s.scanStatus = manager.scanStatus();
    s.likedToggleEnabled = choicesEnabled(manager);
    s.prepareUpcomingOn = manager.prepareUpcoming();
    s.skipSavedOn = manager.skipSaved();
    s.runOptionsEnabled = choicesEnabled(manager);
    if (manager.workspaces().empty())
        s.emptyListText = emptyListText(manager.scanning());
    s.rows = manager.workspaces().size();
    s.rowClicksToggle = choicesEnabled(manager);
    s.destination = destinationPath(manager).value_or("No folder selected");
    s.chooseEnabled = choicesEnabled(manager);
    s.downloadLabel = downloadLabel(manager.running());
    s.downloadEnabled = !downloadBlocked(manager);
    s.cancelShown = manager.running();
    s.queuedBadge = queuedBadge(manager.queuedTrackCount());
    s.progressShown = progressShown(manager);
    if (!manager.failures().empty())
        s.failuresTitle = failuresTitle(manager.failures().size());
    s.logShown = !manager.log().empty();
    return s;
}

std::ostream& operator<<(std::ostream& out, const Snapshot& s) {
    const auto yes = [](bool value) { return value ? "yes" : "no"; };
    return out << "{lastScan=" << s.lastScan << " recent=" << s.recentLabel
               << " scanButton=" << s.scanRecentLabel
               << " scanEnabled=" << yes(s.scanControlsEnabled) << " scanStatus=" << s.scanStatus
               << " liked=" << yes(s.likedToggleEnabled) << " prepare=" << yes(s.prepareUpcomingOn)
               << " skip=" << yes(s.skipSavedOn) << " options=" << yes(s.runOptionsEnabled)
               << " empty=" << s.emptyListText.value_or("-") << " rows=" << s.rows
               << " rowClicks=" << yes(s.rowClicksToggle) << " destination=" << s.destination
               << " choose=" << yes(s.chooseEnabled) << " download=" << s.downloadLabel << "/"
               << yes(s.downloadEnabled) << " cancel=" << yes(s.cancelShown)
               << " queued=" << s.queuedBadge << " progress=" << yes(s.progressShown)
               << " failures=" << s.failuresTitle.value_or("-") << " log=" << yes(s.logShown)
               << "}";
}

} // namespace PanelState
