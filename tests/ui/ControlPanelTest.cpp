#include "ui/ControlPanel.hpp"

#include "async/GLibRef.hpp"
#include "manager/Fakes.hpp"
#include "session/WebTestSupport.hpp"
#include "support/TempDir.hpp"
#include "ui/DisplayText.hpp"
#include "ui/FailuresCard.hpp"
#include "ui/FakeDailyTimer.hpp"
#include "ui/LogCard.hpp"
#include "ui/PanelState.hpp"
#include "ui/QuitQuestion.hpp"
#include "ui/Theme.hpp"
#include "ui/WidgetTesting.hpp"

#include <algorithm>
#include <clocale>
#include <cstdlib>
#include <gdkmm/clipboard.h>
#include <gtest/gtest.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <gtkmm/listview.h>
#include <gtkmm/progressbar.h>
#include <gtkmm/root.h>
#include <gtkmm/settings.h>
#include <gtkmm/spinbutton.h>
#include <gtkmm/switch.h>
#include <gtkmm/window.h>
#include <tuple>

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
        panel = Gtk::make_managed<ControlPanel>(*rig.manager, dailyTimer);
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
    // Lets GTK lay out and draw what changed, and the cards take in the
    // changes they gather per turn of the main loop, however busy the
    // machine is.
    void settle() {
        webtest::runFor(0.05);
        for (int turns = 0; turns < 100 && g_main_context_pending(nullptr); ++turns)
            g_main_context_iteration(nullptr, FALSE);
    }

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
    std::shared_ptr<FakeDailyTimer> dailyTimer = std::make_shared<FakeDailyTimer>();
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

void PrintTo(const State& state, std::ostream* out) {
    *out << state.name;
}

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
    EXPECT_EQ(text("overall"), "\u200ECancelled");
    activate(0);
    EXPECT_EQ(rig->selected(), (std::set<std::string>{"w1", "w2"}));

    // The stepper moves in fives between 5 and 100, whatever is typed.
    auto& stepper = widget<Gtk::SpinButton>("recentStepper");
    for (int i = 0; i < 30; ++i)
        stepper.spin(Gtk::SpinType::STEP_FORWARD, 5);
    EXPECT_EQ(rig->recentCount(), 100);
    stepper.spin(Gtk::SpinType::STEP_BACKWARD, 5);
    EXPECT_EQ(text("recentCount"), "Recent: 95 workspaces");
    EXPECT_EQ(label("scanRecent"), "Scan recent (95)");
    for (const auto& [typed, kept] : {std::pair{7.0, 5}, {-20.0, 5}, {64.0, 65}, {1000.0, 100}})
        EXPECT_EQ(PanelState::recentCountFrom(typed), kept) << typed;

    widget<Gtk::Switch>("likedOnly").set_active(false);
    EXPECT_FALSE(rig->likedOnly());
    widget<Gtk::Switch>("prepareUpcoming").set_active(true);
    widget<Gtk::Switch>("skipSaved").set_active(true);
    widget<Gtk::Switch>("tagFiles").set_active(true);
    EXPECT_TRUE(rig->prepareUpcoming());
    EXPECT_TRUE(rig->skipSaved());
    EXPECT_TRUE(rig->tagFiles());
    rig->setSkipSaved(false); // and the other way
    EXPECT_FALSE(widget<Gtk::Switch>("skipSaved").get_active());
}

// The daily download's switch shows what the timer holds and asks it to
// change only when the user flips it; it cannot be moved while a change is
// under way or where there is no timer to change, and it says why.
TEST_F(ControlPanelTest, theDailySwitchAsksTheTimerAndShowsItsAnswer) {
    using State = DailyTimer::State;
    using namespace std::string_literals;
    auto& daily = widget<Gtk::Switch>("daily");
    const auto expectShown = [&](bool on, bool movable, const std::string& note) {
        EXPECT_EQ(daily.get_active(), on);
        EXPECT_EQ(daily.get_sensitive(), movable);
        EXPECT_EQ(visible("dailyNote"), !note.empty());
        if (!note.empty()) {
            EXPECT_EQ(text("dailyNote"), DisplayText::composed(note));
        }
    };
    expectShown(false, true, "");

    daily.set_active(true);
    EXPECT_EQ(dailyTimer->requests, std::vector<bool>{true});
    expectShown(true, false, "");
    dailyTimer->answer(State::on);
    expectShown(true, true, "Once a day, also while the app is closed, into the folder above.");

    // A refused change puts the switch back and says why.
    daily.set_active(false);
    const std::string refused = "The daily download could not be turned off: Access denied";
    dailyTimer->answer(State::on, refused);
    expectShown(true, true, refused);

    const std::string unavailable =
        "Not available here: this computer runs no systemd user session. A cron job can run "
        "“orvo-wav-downloader --download-new” instead.";
    for (const auto& [state, on, movable, note] :
         {std::tuple{State::reading, false, false, ""s},
          {State::off, false, true, ""s},
          {State::turningOff, false, false, ""s},
          {State::notInstalled, false, false,
           "Not available: this copy of the app was installed without its daily timer."s},
          {State::unavailable, false, false, unavailable}}) {
        SCOPED_TRACE(int(state));
        dailyTimer->answer(state);
        expectShown(on, movable, note);
    }
    // Showing the timer's state never asked it to change.
    EXPECT_EQ(dailyTimer->requests, (std::vector<bool>{true, false}));
    settle();
    photograph("daily-unavailable");
}

// The keyboard focus is where the user is, and never lost: a control that
// turns insensitive hands it on, and Tab goes through every control in
// order, the workspace list as one stop, without getting stuck.
TEST_F(ControlPanelTest, theFocusFollowsTheUser) {
    rig.library(library);
    rig->setDestFolder(temp / "out");
    settle();
    const auto focusIn = [&](const std::string& name) {
        Gtk::Widget* at = window.get_focus();
        // A row's focus is on the list's own widget around it.
        return at && (at->get_name().raw() == name || at->is_ancestor(widget(name)) ||
                      widget(name).get_parent() == at);
    };
    const auto tab = [&](bool forward) {
        return widgettest::pressKey(*panel, forward ? GDK_KEY_Tab : GDK_KEY_ISO_Left_Tab);
    };
    ASSERT_TRUE(panel->focusFirstControl());
    EXPECT_TRUE(focusIn("recentStepper"));

    // Tab: every control once, in order; Shift+Tab the same way back.
    const std::vector<std::string> order{"recentStepper",   "scanRecent", "scanAll",  "likedOnly",
                                         "prepareUpcoming", "skipSaved",  "tagFiles", "row:w1",
                                         "choose",          "daily"};
    for (std::size_t i = 1; i < order.size(); ++i) {
        ASSERT_TRUE(tab(true)) << order[i];
        EXPECT_TRUE(focusIn(order[i])) << order[i];
    }
    EXPECT_FALSE(tab(true)); // past the end, the window takes over
    for (std::size_t i = order.size() - 1; i-- > 0;) {
        ASSERT_TRUE(tab(false)) << order[i];
        EXPECT_TRUE(focusIn(order[i])) << order[i];
    }

    // The focused row is the workspace to screen readers, with its state;
    // Space ticks it.
    while (!focusIn("row:w1"))
        ASSERT_TRUE(tab(true));
    auto* row = GTK_ACCESSIBLE(window.get_focus()->gobj());
    gtk_test_accessible_assert_property(row, GTK_ACCESSIBLE_PROPERTY_LABEL, "Demos");
    gtk_test_accessible_assert_state(row, GTK_ACCESSIBLE_STATE_CHECKED,
                                     GTK_ACCESSIBLE_TRISTATE_FALSE);
    EXPECT_TRUE(widgettest::pressKey(widget("workspaceList"), GDK_KEY_space));
    EXPECT_EQ(rig->selected(), std::set<std::string>{"w1"});
    gtk_test_accessible_assert_state(row, GTK_ACCESSIBLE_STATE_CHECKED,
                                     GTK_ACCESSIBLE_TRISTATE_TRUE);

    // Download hands the focus to Cancel when the run starts, and Cancel
    // hands it back when the run ends.
    widget("download").grab_focus();
    rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
    click("download");
    settle();
    EXPECT_TRUE(focusIn("cancel"));
    click("cancel");
    rig.clock.runUntilIdle();
    settle();
    EXPECT_TRUE(focusIn("download"));
    // A scan takes the scan controls away: the next control takes over.
    widget("scanAll").grab_focus();
    click("scanAll");
    settle();
    EXPECT_TRUE(focusIn("likedOnly"));
}

// Screen readers: every control, and everything else that takes the
// focus, says what it is; the check boxes in the rows only draw the state
// the row itself reports.
TEST_F(ControlPanelTest, everyControlHasAnAccessibleName) {
    rig.library(library);
    rig->setDestFolder(temp / "out");
    rig->setSelected({"w2"});
    rig.downloader.failing[urlOf("c")] = -1;
    rig.clock.run(rig->start());
    settle();
    int controls = 0;
    widgettest::walk(window, [&](Gtk::Widget& w) {
        if (dynamic_cast<Gtk::CheckButton*>(&w) || !widgettest::shown(w))
            return;
        if (GTK_IS_TEXT(w.gobj()) && GTK_IS_SPIN_BUTTON(w.get_parent()->gobj()))
            return; // the stepper's text field: the stepper is named
        const bool control = w.get_focusable() || dynamic_cast<Gtk::Button*>(&w) ||
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
            lines.push_back(DisplayText::composed(line));
        std::vector<std::string> shown;
        for (std::size_t i = 0; i < panel->logCard().lineCount(); ++i)
            shown.push_back(panel->logCard().line(i));
        EXPECT_EQ(shown, lines);
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

// A run that fails every track fills both lists a step at a time; each
// ends up whole and in order.
TEST_F(ControlPanelTest, aBurstOfFailuresIsShownWholeAndInOrder) {
    Workspace big{"w", "Big", {}};
    for (int c = 0; c < 1000; ++c) {
        big.clips.push_back({"t" + std::to_string(c), "Track " + std::to_string(c), true});
        rig.downloader.failing[urlOf(big.clips.back().id)] = -1;
    }
    rig.library({big});
    rig->setSelected({"w"});
    rig->setDestFolder(temp / "out");
    rig.clock.run(rig->start());

    auto& failures = panel->failuresCard().list();
    auto* rows = G_LIST_MODEL(failures.get_model()->gobj());
    webtest::runUntil(
        [&] {
            return g_list_model_get_n_items(rows) == rig->failures().size() &&
                   panel->logCard().lineCount() == rig->log().size();
        },
        10);
    ASSERT_EQ(g_list_model_get_n_items(rows), 1000u);
    for (guint i = 0; i < 1000; i += 111) {
        GObjectRef<GObject> row(G_OBJECT(g_list_model_get_item(rows, i)));
        auto* entry =
            dynamic_cast<FailuresCard::Entry*>(Glib::ObjectBase::_get_current_wrapper(row.get()));
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->item, rig->failures()[i]);
    }
    ASSERT_EQ(panel->logCard().lineCount(), rig->log().size());
    EXPECT_EQ(panel->logCard().line(0), DisplayText::composed(rig->log().front()));
    EXPECT_EQ(panel->logCard().line(rig->log().size() - 1),
              DisplayText::composed(rig->log().back()));
}

// Quitting mid-run asks first; keeping on is the default, and stopping
// quits once the run has ended.
TEST_F(ControlPanelTest, quittingMidRunIsAQuestion) {
    int quits = 0;
    QuitQuestion idleApp(window, *rig.manager, [&] { ++quits; });
    EXPECT_FALSE(idleApp.request());
    EXPECT_EQ(quits, 1);

    quits = 0;
    QuitQuestion question(window, *rig.manager, [&] { ++quits; });
    rig.library(library);
    rig->setSelected({"w1"});
    rig->setDestFolder(temp / "out");
    rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
    Task<void> run = rig->start();
    run.resume();
    ASSERT_TRUE(rig->running());
    const auto answer = [&](Gtk::ResponseType response) {
        ASSERT_TRUE(question.request());
        ASSERT_NE(question.dialog(), nullptr);
        EXPECT_TRUE(question.dialog()->get_visible());
        EXPECT_EQ(question.dialog()->property_text().get_value(), "Stop the download and quit?");
        question.dialog()->response(int(response));
        settle();
    };
    answer(Gtk::ResponseType::CANCEL); // "Keep Downloading", also what Escape gives
    EXPECT_TRUE(rig->running());
    EXPECT_EQ(question.dialog(), nullptr);
    answer(Gtk::ResponseType::ACCEPT); // "Stop and Quit"
    EXPECT_EQ(quits, 0);               // not before the run has stopped
    rig.clock.runUntilIdle();
    settle();
    EXPECT_FALSE(rig->running());
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(quits, 1);
}

// The window stays light whatever theme the desktop names, and a desktop
// that asks for high contrast gets colours in which every text reads at
// 4.5:1 or better against what it is drawn on.
TEST_F(ControlPanelTest, theLookStaysLightAndReadable) {
    for (const auto& [desktop, used] : {std::pair{"Adwaita-dark", "Adwaita"},
                                        {"Yaru-Dark", "Adwaita"},
                                        {"", "Adwaita"},
                                        {"Adwaita", "Adwaita"},
                                        {"Yaru", "Yaru"},
                                        {"HighContrastInverse", "HighContrast"}})
        EXPECT_EQ(Theme::lightThemeName(desktop), used) << desktop;

    const Theme::Palette hc = Theme::highContrast();
    using C = Theme::Colour;
    const C white{0xFFFFFF};
    const C selectedRow = hc.poolTint;
    // Each text colour over each place it is drawn.
    const std::pair<C, C> texts[] = {
        {hc.textPrimary, hc.card},
        {hc.textPrimary, hc.bg},
        {hc.textPrimary, selectedRow},
        {hc.textSecondary, hc.card},
        {hc.textSecondary, hc.bg},
        {hc.textSecondary, selectedRow},
        {white, hc.pool},
        {white, hc.poolDark},
        {hc.poolDark, white},
        {hc.poolDark, hc.poolTint},
        {hc.pool, hc.pool.over(hc.card, 0.12)},
        {hc.pool, hc.pool.over(selectedRow, 0.12)},
    };
    for (const auto& [text, background] : texts)
        EXPECT_GE(C::contrast(text, background), 4.5) << text.css() << " on " << background.css();

    // Sizes are in points, so the desktop's text scaling reaches them.
    EXPECT_EQ(Theme::styleSheet().find("px"), std::string::npos);
    // A German desktop writes numbers with a comma; CSS does not.
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8")) {
        const std::string german = Theme::styleSheet();
        std::setlocale(LC_NUMERIC, "C");
        EXPECT_EQ(german, Theme::styleSheet());
    }

    // The desktop switching to high contrast while the app runs.
    auto settings = Gtk::Settings::get_default();
    const Glib::ustring before = settings->property_gtk_theme_name().get_value();
    rig.library(library);
    rig->setSelected({"w2"});
    settings->property_gtk_theme_name() = "HighContrast";
    photograph("high-contrast");
    settings->property_gtk_theme_name() = "Adwaita-dark";
    EXPECT_EQ(settings->property_gtk_theme_name().get_value(), "Adwaita");
    settings->property_gtk_theme_name() = before;
}

} // namespace

// A run cut short is offered to be finished, and a run's failures can be
// run again or copied out.
TEST_F(ControlPanelTest, theWayBackToARunCutShort) {
    rig.library(library);
    rig->setSelected({"w1", "w2"});
    rig->setDestFolder(temp / "out");
    rig.downloader.failing[urlOf("a")] = -1;
    rig.downloader.onDownload = [this] {
        if (rig.downloader.urls.size() == 2)
            rig->cancel();
    };
    rig.clock.run(rig->start());
    settle();
    ASSERT_TRUE(visible("resumeCard"));
    // Stopped in Demos' retry round, before Live.
    EXPECT_EQ(text("resumeText"), "Your last download stopped with 3 tracks left.");
    photograph("resume-offer");

    rig.downloader.onDownload = nullptr;
    click("resume");
    rig.clock.runUntilIdle();
    settle();
    EXPECT_FALSE(visible("resumeCard"));
    ASSERT_EQ(rig->failures().size(), 1u);
    EXPECT_TRUE(visible("retryFailed"));
    photograph("failures-actions");

    click("copyFailures");
    GValue copied = G_VALUE_INIT;
    g_value_init(&copied, G_TYPE_STRING);
    GdkContentProvider* content = gdk_clipboard_get_content(widget("copyFailures").get_clipboard()->gobj());
    ASSERT_NE(content, nullptr);
    ASSERT_TRUE(gdk_content_provider_get_value(content, &copied, nullptr));
    EXPECT_EQ(std::string(g_value_get_string(&copied)), rig->failuresText());
    g_value_unset(&copied);

    rig.downloader.failing.clear();
    click("retryFailed");
    rig.clock.runUntilIdle();
    settle();
    EXPECT_TRUE(rig->failures().empty());
    EXPECT_FALSE(visible("failures"));
}
