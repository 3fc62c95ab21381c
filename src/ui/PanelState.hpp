#pragma once
#include "manager/DownloadManager.hpp"

#include <cstdint>
#include <optional>
#include <ostream>
#include <string>

// What the control panel shows, derived from the manager alone. The cards
// call the single rules when the properties they depend on change; of()
// gathers them all, for checking the panel in each state.
namespace PanelState {

// Header: "Last scan: …" or "No scan yet".
std::string lastScanLine(const std::optional<Date>& lastScanned);

// Scan card. The recent count steps in fives from 5 to 100.
inline constexpr std::int64_t minRecent = 5;
inline constexpr std::int64_t maxRecent = 100;
inline constexpr std::int64_t recentStep = 5;
// A typed or stepped value: rounded to a step, within the bounds.
std::int64_t recentCountFrom(double value);
std::string recentLabel(std::int64_t recentCount);
std::string scanRecentLabel(bool scanning, std::int64_t recentCount);
bool scanControlsEnabled(const DownloadManager& manager);

// The choices for the next run (the switches, the rows, the folder) stay
// as they are while a run is on.
bool choicesEnabled(const DownloadManager& manager);

// Workspaces card: the text in place of an empty list.
std::string emptyListText(bool scanning);
std::string likedBadge(const Workspace& workspace);
std::string totalText(const Workspace& workspace);

// Destination card: the folder's path, or none.
std::optional<std::string> destinationPath(const DownloadManager& manager);

// Action card.
bool downloadBlocked(const DownloadManager& manager);
std::string downloadLabel(bool running);
std::string queuedBadge(std::int64_t queued);
bool progressShown(const DownloadManager& manager);

// The desktop notification at the end of a run: its title, from the run's
// last word in overall().
std::string runEndTitle(const std::string& overall);

// Failures card.
std::string failuresTitle(std::size_t count);

struct Snapshot {
    std::string lastScan;
    std::string recentLabel;
    std::string scanRecentLabel;
    bool scanControlsEnabled = false;
    std::string scanStatus; // empty: not shown
    bool likedToggleEnabled = false;
    bool prepareUpcomingOn = false;
    bool skipSavedOn = false;
    bool runOptionsEnabled = false;           // both switches under "Liked tracks only"
    std::optional<std::string> emptyListText; // none: the list is shown
    std::size_t rows = 0;
    bool rowClicksToggle = false;
    std::string destination; // "No folder selected" when none
    bool chooseEnabled = false;
    std::string downloadLabel;
    bool downloadEnabled = false;
    bool cancelShown = false;
    std::string queuedBadge;
    bool progressShown = false;
    std::optional<std::string> failuresTitle; // none: card hidden
    bool logShown = false;

    bool operator==(const Snapshot&) const = default;
};
Snapshot of(const DownloadManager& manager);
std::ostream& operator<<(std::ostream& out, const Snapshot& snapshot);

} // namespace PanelState
