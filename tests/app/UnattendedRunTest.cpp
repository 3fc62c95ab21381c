// The run with nobody watching, over the manager's fakes: which workspaces
// it takes, what it fetches, what it prints and how it ends.
#include "app/UnattendedRun.hpp"

#include "manager/Fakes.hpp"
#include "manager/LastRunChoice.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace {

using Lines = std::vector<std::string>;

class FakeSignIn final : public SignInState {
  public:
    bool signedIn = true;
    bool unreachablePage = false;
    bool loggedIn() const override { return signedIn; }
    bool unreachable() const override { return unreachablePage; }
    bool onSignInPage() const override { return !signedIn; }
};

Workspace demos() {
    return {"w1", "Demos", {{"a", "Night Drive", true}, {"b", "Unliked", false}}};
}
Workspace live() {
    return {"w2", "Live", {{"c", "Opener", true}}};
}

class UnattendedRunTest : public ::testing::Test {
  public: // the table below arranges its cases on the fixture
    TempDir temp;
    ManagerRig rig{temp / "data"};
    FakeSignIn signIn;
    std::filesystem::path out = temp / "out";
    Lines printed;
    std::vector<double> bar;

    void SetUp() override {
        std::filesystem::create_directory(out);
        rig->setDestFolder(out);
    }

    // The library the next scan finds.
    void serve(const std::vector<Workspace>& workspaces) {
        FeedPage page;
        for (const Workspace& workspace : workspaces)
            for (const WClip& clip : workspace.clips)
                page.clips.push_back(
                    RawClip{clip.id, clip.title, clip.liked, workspace.id, workspace.name});
        rig.service.pages.push_back(page);
    }
    int run(DownloadNewOptions options = {}) {
        printed.clear();
        rig.downloader.urls.clear();
        UnattendedRun run(rig.service, signIn, *rig.manager, rig.clock, rig.dataFolder,
                          std::move(options),
                          {[this](const std::string& line) { printed.push_back(line); },
                           [this](double fraction) { bar.push_back(fraction); }});
        return rig.clock.run(run.run());
    }
    Lines fetched() const {
        Lines ids;
        for (const std::string& url : rig.downloader.urls)
            ids.push_back(url.substr(url.rfind('/') + 1));
        return ids;
    }
};

} // namespace

TEST(LastRunChoiceTest, coverageFollowsTheChoiceAndNamesWorkspacesNewSinceIt) {
    const std::vector<Workspace> library{
        {"w1", "Demos", {}}, {"w2", "Live", {}}, {"w3", "New One", {}}};
    const LastRunChoice chosen{{"w1"}, {"w1", "w2"}, true};
    struct Case {
        const char* what;
        std::optional<LastRunChoice> choice;
        bool all;
        LastRunChoice::Coverage expected;
    } cases[] = {
        {"the chosen one; the unchosen old one is not news", chosen, false, {{"w1"}, {"New One"}}},
        {"every workspace when asked", chosen, true, {{"w1", "w2", "w3"}, {}}},
        {"every workspace when nothing was ever chosen",
         std::nullopt,
         false,
         {{"w1", "w2", "w3"}, {}}},
        {"a chosen workspace that is gone is not asked for",
         LastRunChoice{{"w0", "w2"}, {"w0", "w1", "w2", "w3"}, false},
         false,
         {{"w2"}, {}}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LastRunChoice::coverage(c.choice, library, c.all), c.expected) << c.what;
}

TEST(LastRunChoiceTest, keptAsWrittenAndForeignTextRefused) {
    const LastRunChoice choice{{"w1"}, {"w1", "w2"}, false};
    EXPECT_EQ(LastRunChoice::decode(choice.encode()), choice);
    for (const char* text : {"", "[]", "{\"selected\":[],\"known\":[]}",
                             "{\"selected\":[1],\"known\":[],\"likedOnly\":true}",
                             "{\"selected\":[],\"known\":{},\"likedOnly\":true}"})
        EXPECT_EQ(LastRunChoice::decode(text), std::nullopt) << text;
}

TEST_F(UnattendedRunTest, fetchesWhatIsNewInTheChosenWorkspacesAndSaysSo) {
    LastRunChoice{{"w1"}, {"w1", "w2"}, true}.save(rig.dataFolder);
    serve({demos(), live()});
    EXPECT_EQ(run(), DownloadNewOptions::done);
    EXPECT_EQ(fetched(), (Lines{"a.wav"}));
    EXPECT_EQ(printed, (Lines{"2 workspaces found (3 tracks).", "Workspace 1 of 1: Demos",
                              "Complete: Downloaded 1 file."}));
    EXPECT_EQ(bar.back(), -1); // the bar gives way to the last lines

    // The library grew: one track more in Demos, and a workspace nobody chose.
    Workspace grown = demos();
    grown.clips.insert(grown.clips.begin(), WClip{"d", "Sunrise", true});
    serve({{"w9", "Sketches", {{"e", "Idea", true}}}, grown, live()});
    EXPECT_EQ(run(), DownloadNewOptions::done);
    EXPECT_EQ(fetched(), (Lines{"d.wav"}));
    EXPECT_EQ(printed.back(), "Complete: Downloaded 1 file · 1 already saved.");
    EXPECT_EQ(printed[printed.size() - 2],
              "Not included, new since the last run: 1 workspace (Sketches). Add it in the app or "
              "use --all-workspaces.");

    // Every workspace, all tracks as the last choice said, none saved twice.
    serve({{"w9", "Sketches", {{"e", "Idea", true}}}, grown, live()});
    EXPECT_EQ(run({.allWorkspaces = true}), DownloadNewOptions::done);
    EXPECT_EQ(fetched(), (Lines{"e.wav", "c.wav"}));
}

TEST_F(UnattendedRunTest, endsWithTheStatusAScriptActsOn) {
    struct Case {
        const char* what;
        std::function<void(UnattendedRunTest&)> arrange;
        int status;
        std::size_t feedCalls;
    } cases[] = {
        {"signed out", [](UnattendedRunTest& t) { t.signIn.signedIn = false; },
         DownloadNewOptions::signInNeeded, 0},
        {"Orvo unreachable",
         [](UnattendedRunTest& t) {
             t.signIn.signedIn = false;
             t.signIn.unreachablePage = true;
         },
         DownloadNewOptions::someFailed, 0},
        {"destination gone", [](UnattendedRunTest& t) { std::filesystem::remove(t.out); },
         DownloadNewOptions::destinationUnavailable, 0},
        {"destination given and missing", [](UnattendedRunTest&) {},
         DownloadNewOptions::destinationUnavailable, 0},
        {"a track that cannot be fetched",
         [](UnattendedRunTest& t) { t.rig.downloader.failing[urlOf("c")] = -1; },
         DownloadNewOptions::someFailed, 1},
        {"a scan that fails", [](UnattendedRunTest& t) { t.rig.service.pages.clear(); },
         DownloadNewOptions::someFailed, 7},
    };
    for (const Case& c : cases) {
        TempDir caseTemp;
        UnattendedRunTest& t = *this;
        t.out = caseTemp / "out";
        std::filesystem::create_directory(t.out);
        t.rig->setDestFolder(t.out);
        t.signIn = FakeSignIn{};
        t.rig.downloader.failing.clear();
        t.rig.service.calls.clear();
        t.rig.service.pages.clear();
        serve({live()});
        c.arrange(t);
        DownloadNewOptions options;
        if (std::string(c.what) == "destination given and missing")
            options.destination = caseTemp / "elsewhere";
        EXPECT_EQ(run(options), c.status) << c.what;
        EXPECT_EQ(std::ranges::count(rig.service.operations(), "feedPage"), c.feedCalls) << c.what;
    }
}

TEST_F(UnattendedRunTest, aRunCutShortIsFinishedIntoTheSameFolder) {
    // The window's run of Live stopped half-way; the choice since is Demos.
    LastRunChoice{{"w1"}, {"w1", "w2"}, true}.save(rig.dataFolder);
    serve({demos(), live()});
    run();
    UnfinishedRun cut{out, {"w2"}, true, false, false, {"c"}};
    ASSERT_TRUE(std::filesystem::exists(rig.dataFolder));
    std::ofstream(rig->unfinishedURL()) << cut.encode();
    rig.relaunch();
    serve({demos(), live()});
    EXPECT_EQ(run(), DownloadNewOptions::done);
    EXPECT_EQ(fetched(), (Lines{"c.wav"}));
    EXPECT_FALSE(rig->unfinished());
}

TEST(UnattendedRunText, terminalLinesAndBar) {
    EXPECT_EQ(UnattendedRun::plain("Workspace 1 of 2: \u2068Demos\u2069 \u200e"),
              "Workspace 1 of 2: Demos ");
    EXPECT_EQ(UnattendedRun::bar(0.5, 10), "[#####-----]  50 %");
    EXPECT_EQ(UnattendedRun::bar(2, 4), "[####] 100 %");
    EXPECT_EQ(UnattendedRun::bar(std::nan(""), 4), "[----]   0 %");
}
