#include "ui/ControlPanel.hpp"

#include "manager/Fakes.hpp"
#include "session/WebTestSupport.hpp"
#include "support/TempDir.hpp"
#include "ui/DisplayText.hpp"
#include "ui/LogCard.hpp"
#include "ui/PanelState.hpp"
#include "ui/Theme.hpp"
#include "ui/WidgetTesting.hpp"

#include <algorithm>
#include <cstdlib>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <gtkmm/listview.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/switch.h>
#include <gtkmm/window.h>

namespace {

using widgettest::named;
using Property = DownloadManager::Property;

const std::vector<Workspace> library{
    {"w1", "Demos", {{"a", "Night Drive", true}, {"b", "Sketch", false}}},
    {"w2", "Live at the Roxy", {{"c", "Opener", true}, {"d", "Encore", true}}},
    {"w3", "Empty of likes", {{"e", "Take 1", false}}},
};

class ControlPanelTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        setenv("LANG", "en_US.UTF-8", 1);
        setenv("TZ", "UTC", 1);
        webtest::initGtk();
    }
    void SetUp() override {
        std::filesystem::create_directories(temp / "out");
        Theme::install(*Gdk::Display::get_default());
        window.add_css_class("orvo");
        window.set_default_size(860, 760);
        panel = Gtk::make_managed<ControlPanel>(*rig.manager);
        window.set_child(*panel);
        window.present();
    }
    void TearDown() override {
        rig->cancel();
        rig.service.pages.push_back(FeedPage{});
        rig.clock.runUntilIdle();
        window.unset_child();
        window.destroy();
    }
    // Lets GTK lay out and draw what changed.
    void settle() { webtest::runFor(0.05); }

    template <typename T = Gtk::Widget> T& widget(const std::string& name) {
        return named<T>(window, name);
    }
    std::string text(const std::string& name) { return widget<Gtk::Label>(name).get_text(); }
    std::string label(const std::string& button) { return widget<Gtk::Button>(button).get_label(); }
    bool visible(const std::string& name) { return widgettest::shown(widget(name)); }
    // Presses a button as a click would.
    void click(const std::string& button) {
        g_signal_emit_by_name(widget(button).gobj(), "clicked");
    }

    // Each label of a box, in order.
    std::vector<std::string> labelsIn(const std::string& name) {
        std::vector<std::string> texts;
        widgettest::walk(widget(name), [&](Gtk::Widget& w) {
            if (auto* label = dynamic_cast<Gtk::Label*>(&w))
                texts.push_back(label->get_text());
        });
        return texts;
    }

    // The real widgets agree with the state derived from the manager.
    void expectWidgetsShowDerivedState() {
        const PanelState::Snapshot s = PanelState::of(*rig.manager);
        EXPECT_EQ(text("lastScan"), s.lastScan);
        EXPECT_EQ(text("recentCount"), s.recentLabel);
        EXPECT_EQ(label("scanRecent"), s.scanRecentLabel);
        for (const char* name : {"scanRecent", "scanAll"})
            EXPECT_EQ(widget(name).get_sensitive(), s.scanControlsEnabled) << name;
        EXPECT_EQ(visible("scanStatus"), !s.scanStatus.empty());
        EXPECT_EQ(widget("likedOnly").get_sensitive(), s.likedToggleEnabled);
        for (const auto& [name, on] : {std::pair{"prepareUpcoming", s.prepareUpcomingOn},
                                       std::pair{"skipSaved", s.skipSavedOn}}) {
            EXPECT_EQ(widget<Gtk::Switch>(name).get_active(), on) << name;
            EXPECT_EQ(widget(name).get_sensitive(), s.runOptionsEnabled) << name;
        }
        EXPECT_EQ(visible("emptyList"), s.emptyListText.has_value());
        if (s.emptyListText) {
            EXPECT_EQ(text("emptyList"), *s.emptyListText);
        }
        EXPECT_EQ(text("destination"), s.destination);
        EXPECT_EQ(widget("choose").get_sensitive(), s.chooseEnabled);
        auto& download = widget<Gtk::Button>("download");
        EXPECT_EQ(label("download"), s.downloadLabel);
        EXPECT_EQ(download.get_sensitive(), s.downloadEnabled);
        EXPECT_NEAR(download.get_opacity(), s.downloadEnabled ? 1.0 : 0.45, 0.01);
        EXPECT_EQ(visible("cancel"), s.cancelShown);
        EXPECT_EQ(text("queued"), s.queuedBadge);
        EXPECT_EQ(visible("progress"), s.progressShown);
        EXPECT_EQ(visible("failures"), s.failuresTitle.has_value());
        if (s.failuresTitle) {
            EXPECT_EQ(text("failuresTitle"), DisplayText::upperCase(*s.failuresTitle));
        }
        EXPECT_EQ(visible("log"), s.logShown);
    }

    // Every state is drawn and saved; into the repository's pictures only
    // when asked (make screenshots), so a test run leaves the checkout as it was.
    void photograph(const std::string& state) {
        settle();
        const std::filesystem::path folder = std::getenv("ORVO_SCREENSHOTS")
                                                 ? std::filesystem::path(SCREENSHOT_DIR)
                                                 : temp / "shots";
        widgettest::screenshot(window, folder / ("panel-" + state + ".png"));
    }

    TempDir temp;
    ManagerRig rig{temp / "data"};
    Gtk::Window window;
    ControlPanel* panel = nullptr;
};

using PanelState::Snapshot;

const std::string longFolder = "/home/someone/Music/Orvo exports/a rather long folder name that "
                               "has to be shortened in the middle to fit on one line";

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
    s.scanStatus = "3 workspaces found (5 tracks).";
    s.emptyListText.reset();
    s.rows = 3;
    return s;
}

struct State {
    const char* name;
    // Brings the rig into the state; may leave a task suspended, which the
    // test finishes after taking the snapshot.
    std::function<void(ManagerRig&, Task<void>&)> enter;
    std::function<Snapshot()> expected;
};

const State states[] = {
    {"idle", [](ManagerRig&, Task<void>&) {}, idle},
    {"scanning",
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
    {"library",
     [](ManagerRig& rig, Task<void>&) {
         rig.library(library);
         rig->setSelected({"w1"});
         rig->setDestFolder(longFolder);
     },
     [] {
         Snapshot s = loaded(idle());
         s.destination = longFolder;
         s.downloadEnabled = true;
         s.queuedBadge = "1 queued";
         return s;
     }},
    {"blocked",
     [](ManagerRig& rig, Task<void>&) {
         rig.library(library);
         rig->setSelected({"w1", "w2"});
         rig->setLikedOnly(false);
     },
     [] {
         Snapshot s = loaded(idle());
         s.queuedBadge = "4 queued";
         return s;
     }},
    {"running",
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
    {"finished",
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

void PrintTo(const State& state, std::ostream* out) { *out << state.name; }

class PanelStatesTest : public ControlPanelTest, public ::testing::WithParamInterface<State> {
  protected:
    // A scan or run the state leaves waiting; the fixture's tear-down ends it
    // before it goes.
    Task<void> suspended;
};

// Each state derives what the panel shows from the manager, and the real
// widgets show just that.
TEST_P(PanelStatesTest, showWhatTheManagerHolds) {
    GetParam().enter(rig, suspended);
    Snapshot expected = GetParam().expected();
    // Folders under the test's temporary folder differ from run to run.
    if (rig->destFolder() && rig->destFolder()->string().starts_with(temp.path().string()))
        expected.destination = rig->destFolder()->string();
    EXPECT_EQ(PanelState::of(*rig.manager), expected);
    settle();
    expectWidgetsShowDerivedState();
    photograph(GetParam().name);
}

INSTANTIATE_TEST_SUITE_P(States, PanelStatesTest, ::testing::ValuesIn(states),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(ControlPanelTest, rowClicksToggleAndTheDownloadButtonStartsARun) {
    rig.library(library);
    rig->setDestFolder(temp / "out");
    settle();
    auto& list = widget<Gtk::ListView>("workspaceList");
    const auto activate = [&](guint position) {
        g_signal_emit_by_name(list.gobj(), "activate", position);
        settle();
    };

    activate(1);
    activate(0);
    activate(0);
    EXPECT_EQ(rig->selected(), std::set<std::string>{"w2"});
    auto& row = widget("row:w2");
    EXPECT_TRUE(row.has_css_class("on"));
    EXPECT_FALSE(widget("row:w1").has_css_class("on"));
    EXPECT_TRUE(widget<Gtk::Button>("download").get_sensitive());

    rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
    click("download");
    settle();
    EXPECT_TRUE(rig->running());
    activate(0); // ignored while running
    EXPECT_EQ(rig->selected(), std::set<std::string>{"w2"});
    click("cancel");
    rig.clock.runUntilIdle();
    settle();
    EXPECT_FALSE(rig->running());
    EXPECT_EQ(text("overall"), "Cancelled");
    activate(0);
    EXPECT_EQ(rig->selected(), (std::set<std::string>{"w1", "w2"}));

    // The stepper moves in fives between 5 and 100.
    for (int i = 0; i < 30; ++i)
        click("moreRecent");
    EXPECT_EQ(rig->recentCount(), 100);
    EXPECT_FALSE(widget("moreRecent").get_sensitive());
    click("fewerRecent");
    EXPECT_EQ(text("recentCount"), "Recent: 95 workspaces");
    EXPECT_EQ(label("scanRecent"), "Scan recent (95)");

    widget<Gtk::Switch>("likedOnly").set_active(false);
    EXPECT_FALSE(rig->likedOnly());
    widget<Gtk::Switch>("prepareUpcoming").set_active(true);
    widget<Gtk::Switch>("skipSaved").set_active(true);
    EXPECT_TRUE(rig->prepareUpcoming());
    EXPECT_TRUE(rig->skipSaved());
    rig->setSkipSaved(false); // and the other way
    EXPECT_FALSE(widget<Gtk::Switch>("skipSaved").get_active());
}

TEST_F(ControlPanelTest, everyControlHasAnAccessibleName) {
    rig.library(library);
    rig->setDestFolder(temp / "out");
    rig->setSelected({"w2"});
    rig.downloader.failing[urlOf("c")] = -1;
    rig.clock.run(rig->start());
    settle();
    int controls = 0;
    widgettest::walk(window, [&](Gtk::Widget& w) {
        const bool control = dynamic_cast<Gtk::Button*>(&w) || dynamic_cast<Gtk::Switch*>(&w) ||
                             dynamic_cast<Gtk::CheckButton*>(&w) ||
                             dynamic_cast<Gtk::ProgressBar*>(&w) ||
                             dynamic_cast<Gtk::ListView*>(&w);
        if (!control)
            return;
        ++controls;
        auto* accessible = GTK_ACCESSIBLE(w.gobj());
        const auto* button = dynamic_cast<Gtk::Button*>(&w);
        const bool labelled =
            gtk_test_accessible_has_property(accessible, GTK_ACCESSIBLE_PROPERTY_LABEL) ||
            (button && !button->get_label().empty());
        EXPECT_TRUE(labelled) << G_OBJECT_TYPE_NAME(w.gobj()) << " " << w.get_name();
    });
    EXPECT_GE(controls, 14);
}

TEST_F(ControlPanelTest, hostileTitlesStayOnOneLineInTheirOwnDirection) {
    using namespace std::string_literals;
    const std::string title = "Intro\0hidden\nsecond line \u202Eevil"s;
    rig.library({{"w", "Bad\nname\u202E", {{"x", title, true}}}});
    rig->setSelected({"w"});
    rig->setDestFolder(temp / "out");
    rig.downloader.failing[urlOf("x")] = -1;
    rig.clock.run(rig->start());
    settle();

    const std::string shown = "Intro\u2400hidden\u240asecond line \uFFFDevil";
    const std::vector<std::string> failure = labelsIn("failures");
    ASSERT_GE(failure.size(), 2u);
    EXPECT_EQ(failure[0], "\u2068" + shown + "\u2069");
    EXPECT_EQ(failure[1], "\u2068Bad\u240aname\uFFFD\u2069");
    const auto expectLogShown = [&] {
        std::vector<std::string> lines;
        for (const std::string& line : rig->log())
            lines.push_back(DisplayText::line(line));
        EXPECT_EQ(labelsIn("log"), lines);
        EXPECT_EQ(panel->logCard().lineCount(), lines.size());
        return lines;
    };
    const std::vector<std::string> log = expectLogShown();
    EXPECT_TRUE(std::ranges::any_of(
        log, [&](const std::string& line) { return line.find(shown) != std::string::npos; }));
    // The stored texts are untouched.
    EXPECT_EQ(rig->failures().at(0).title, title);

    // A new run clears the log and follows it again.
    rig.downloader.failing.clear();
    rig.clock.run(rig->start());
    settle();
    expectLogShown();
}

} // namespace
