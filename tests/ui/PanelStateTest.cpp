#include "manager/Fakes.hpp"
#include "support/TempDir.hpp"
#include "ui/DateText.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"

#include <functional>
#include <gtest/gtest.h>

namespace {

using PanelState::Snapshot;

// Two workspaces: "Demos" with one liked clip of two, "Live" with none liked.
const std::vector<Workspace> library{
    {"w1", "Demos", {{"a", "Night Drive", true}, {"b", "Sketch", false}}},
    {"w2", "Live", {{"c", "Opener", false}}},
};

// The panel in its idle state, before any scan: what every other state
// changes.
Snapshot idle() {
    Snapshot s;
    s.lastScan = "No scan yet";
    s.recentLabel = "Recent: 20 workspaces";
    s.scanRecentLabel = "Scan recent (20)";
    s.scanControlsEnabled = true;
    s.likedToggleEnabled = true;
    s.runOptionsEnabled = true;
    s.emptyListText = "No library loaded. Select “Scan recent” or “Scan all” to begin.";
    s.rowClicksToggle = true;
    s.destination = "No folder selected";
    s.chooseEnabled = true;
    s.downloadLabel = "Download selected";
    s.queuedBadge = "0 queued";
    return s;
}

// Fills in what a loaded library shows, scanned at the virtual clock's
// start.
Snapshot loaded(Snapshot s) {
    s.lastScan = "Last scan: Jan 1, 2026, 12:00\u202fAM";
    s.scanStatus = "2 workspaces found (3 tracks).";
    s.emptyListText.reset();
    s.rows = 2;
    return s;
}

struct State {
    const char* name;
    // Brings the rig into the state; may leave a task suspended, which the
    // test finishes after taking the snapshot.
    std::function<void(ManagerRig&, Task<void>&)> enter;
    std::function<Snapshot()> expected;
};

class PanelStateTest : public ::testing::TestWithParam<State> {
  protected:
    static void SetUpTestSuite() {
        setenv("LANG", "en_US.UTF-8", 1);
        setenv("TZ", "UTC", 1);
    }
    TempDir temp;
    ManagerRig rig{temp / "data"};
};

const State states[] = {
    {"idleWithNoLibrary", [](ManagerRig&, Task<void>&) {}, idle},
    {"scanningFirstLibrary",
     [](ManagerRig& rig, Task<void>& task) {
         rig->setRecentCount(35);
         task = rig->scan(ScanScope::recent(35)); // the feed fails: retry after a pause
         task.resume();
     },
     [] {
         Snapshot s = idle();
         s.recentLabel = "Recent: 35 workspaces";
         s.scanRecentLabel = "Scanning…";
         s.scanControlsEnabled = false;
         s.scanStatus = "Scanning (recent 35)…";
         s.emptyListText = "Scanning…";
         return s;
     }},
    {"libraryWithSelectionAndFolder",
     [](ManagerRig& rig, Task<void>&) {
         rig.library(library);
         rig->setSelected({"w1"});
         rig->setDestFolder("/music/Orvo");
     },
     [] {
         Snapshot s = loaded(idle());
         s.destination = "/music/Orvo";
         s.downloadEnabled = true;
         s.queuedBadge = "1 queued";
         return s;
     }},
    {"selectionWithoutFolderIsBlocked",
     [](ManagerRig& rig, Task<void>&) {
         rig.library(library);
         rig->setSelected({"w1", "w2"});
         rig->setLikedOnly(false);
     },
     [] {
         Snapshot s = loaded(idle());
         s.queuedBadge = "3 queued";
         return s;
     }},
    {"runningWithBothOptions",
     [](ManagerRig& rig, Task<void>& task) {
         rig.library(library);
         rig->setPrepareUpcoming(true);
         rig->setSkipSaved(true);
         rig->setSelected({"w1"});
         std::filesystem::create_directories(rig.dataFolder / "out");
         rig->setDestFolder(rig.dataFolder / "out");
         rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
         task = rig->start(); // polls for a file that never comes
         task.resume();
     },
     [] {
         Snapshot s = loaded(idle());
         s.scanControlsEnabled = false;
         s.likedToggleEnabled = false;
         s.prepareUpcomingOn = true;
         s.skipSavedOn = true;
         s.runOptionsEnabled = false;
         s.rowClicksToggle = false;
         s.chooseEnabled = false;
         s.downloadLabel = "Downloading…";
         s.cancelShown = true;
         s.queuedBadge = "1 queued";
         s.progressShown = true;
         s.logShown = true;
         return s;
     }},
    {"finishedWithFailures",
     [](ManagerRig& rig, Task<void>& task) {
         rig.library(library);
         rig->setSelected({"w1"});
         std::filesystem::create_directories(rig.dataFolder / "out");
         rig->setDestFolder(rig.dataFolder / "out");
         rig.downloader.failing[urlOf("a")] = -1;
         rig.clock.run(rig->start());
         (void)task;
     },
     [] {
         Snapshot s = loaded(idle());
         s.downloadEnabled = true;
         s.queuedBadge = "1 queued";
         s.progressShown = true;
         s.failuresTitle = "Unable to download automatically (1)";
         s.logShown = true;
         return s;
     }},
};

TEST_P(PanelStateTest, showsWhatTheManagerHolds) {
    Task<void> suspended;
    GetParam().enter(rig, suspended);
    Snapshot shown = PanelState::of(*rig.manager);
    Snapshot expected = GetParam().expected();
    // Folders under the test's temporary folder differ from run to run.
    if (shown.destination.starts_with(temp.path().string()))
        expected.destination = shown.destination;
    EXPECT_EQ(shown, expected);
    if (suspended.valid() && !suspended.done()) {
        rig->cancel();
        rig.service.pages.push_back(FeedPage{});
        rig.clock.runUntilIdle();
    }
}

INSTANTIATE_TEST_SUITE_P(States, PanelStateTest, ::testing::ValuesIn(states),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(DisplayTextTest, controlAndDirectionCharactersAreShownNotObeyed) {
    using namespace std::string_literals;
    const struct {
        std::string stored, line;
    } cases[] = {
        {"Plain title", "Plain title"},
        {"Caf\u00e9 \u05e9\u05dc\u05d5\u05dd", "Caf\u00e9 \u05e9\u05dc\u05d5\u05dd"},
        {"A\0B"s, "A\u2400B"},
        {"two\nlines\r", "two\u240alines\u240d"},
        {"tab\there", "tab\u2409here"},
        {"evil\u202Egnp.exe", "evil\uFFFDgnp.exe"},
        {"iso\u2066late\u2069", "iso\uFFFDlate\uFFFD"},
        {"sep\u2028arated", "sep\uFFFDarated"},
        {"bad \xff\xfe bytes", "bad \uFFFD\uFFFD bytes"},
        {"del\x7f", "del\u2421"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayText::line(c.stored), c.line) << c.stored;
        EXPECT_EQ(DisplayText::name(c.stored), "\u2068" + c.line + "\u2069") << c.stored;
    }
}

TEST(DateTextTest, abbreviatedDateAndShortTimeFollowTheLocale) {
    using namespace std::chrono;
    const Date date = Date{sys_days{year{2026} / 12 / 6}} + hours{20} + minutes{46};
    EXPECT_EQ(DateText::abbreviated(date, "en_US", "UTC"), "Dec 6, 2026, 8:46\u202fPM");
    EXPECT_EQ(DateText::abbreviated(date, "en_GB", "UTC"), "6 Dec 2026, 20:46");
    EXPECT_EQ(DateText::abbreviated(date, "de_DE", "Europe/Berlin"), "06.12.2026, 21:46");
}

TEST(DisplayTextTest, captionsAreUpperCaseInEveryLocale) {
    EXPECT_EQ(DisplayText::upperCase("Getting started"), "GETTING STARTED");
    EXPECT_EQ(DisplayText::upperCase("Unable to download (3)"), "UNABLE TO DOWNLOAD (3)");
    EXPECT_EQ(DisplayText::upperCase("café istanbul"), "CAFÉ ISTANBUL");
}

} // namespace
