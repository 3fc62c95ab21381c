#include "ui/PanelState.hpp"

#include "model/Translation.hpp"
#include "ui/DateText.hpp"
#include "ui/DisplayText.hpp"

#include <algorithm>
#include <cmath>
#include <glib.h>

namespace PanelState {

std::string lastScanLine(const std::optional<Date>& lastScanned) {
    // Translators: {date} is a date and time in the user's locale.
    return lastScanned ? Translation::fill(_("Last scan: {date}"),
                                           {{"date", DateText::abbreviated(*lastScanned)}})
                       : std::string(_("No scan yet"));
}

std::int64_t recentCountFrom(double value) {
    const auto steps = std::int64_t(std::llround(value / double(recentStep)));
    return std::clamp(steps * recentStep, minRecent, maxRecent);
}

std::string recentLabel(std::int64_t recentCount) {
    return Translation::counted(recentCount, "Recent: {count} workspace",
                                "Recent: {count} workspaces");
}

std::string scanRecentLabel(bool scanning, std::int64_t recentCount) {
    return scanning ? std::string(_("Scanning…"))
                    // Translators: a button; {count} is how many recent workspaces it scans.
                    : Translation::fill(_("Scan recent ({count})"),
                                        {{"count", Translation::number(recentCount)}});
}

bool scanControlsEnabled(const DownloadManager& manager) {
    return !manager.scanning() && !manager.running();
}

bool choicesEnabled(const DownloadManager& manager) {
    return !manager.running();
}

std::string emptyListText(bool scanning) {
    return scanning ? _("Scanning…")
                    : _("No library loaded. Select “Scan recent” or “Scan all” to begin.");
}

std::string likedBadge(const Workspace& workspace) {
    std::size_t liked = 0;
    for (const WClip& clip : workspace.clips)
        liked += clip.liked;
    // Translators: a badge on a workspace's row.
    return Translation::counted(std::int64_t(liked), "{count} liked", "{count} liked");
}

std::string totalText(const Workspace& workspace) {
    // Translators: the number of tracks on a workspace's row.
    return Translation::counted(std::int64_t(workspace.clips.size()), "{count} total",
                                "{count} total");
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
    return running ? _("Downloading…") : _("Download selected");
}

std::string queuedBadge(std::int64_t queued) {
    // Translators: a badge by the download button: tracks waiting to be fetched.
    return Translation::counted(queued, "{count} queued", "{count} queued");
}

bool progressShown(const DownloadManager& manager) {
    return manager.running() || !manager.overall().empty();
}

std::string runEndTitle(const std::string& overall) {
    return overall == _(DownloadManager::completeText) ? _("Download complete")
                                                       : _("Download stopped");
}

std::string failuresTitle(std::size_t count) {
    return Translation::fill(_("Unable to download automatically ({count})"),
                             {{"count", Translation::number(std::int64_t(count))}});
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
    s.destination = destinationPath(manager).value_or(_("No folder selected"));
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
