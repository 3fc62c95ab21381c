#include "manager/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace {

using Property = DownloadManager::Property;
using Lines = std::vector<std::string>;

WClip track(std::string id, std::string title, bool liked = true) {
    return WClip{std::move(id), std::move(title), liked};
}

std::string urlOf(const std::string& id) {
    return "http://files.test/" + id + ".wav";
}

class DownloadRunTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
    std::filesystem::path out = temp / "out";
    Lines overalls;
    std::vector<double> fractions;

    void SetUp() override {
        rig->setDestFolder(out);
        rig->signalChanged().connect([this](Property property) {
            if (property == Property::overall)
                overalls.push_back(rig->overall());
            if (property == Property::fraction)
                fractions.push_back(rig->fraction());
        });
    }

    // Puts the workspaces into the library through a one-page scan.
    void library(const std::vector<Workspace>& workspaces) {
        FeedPage page;
        for (const Workspace& workspace : workspaces)
            for (const WClip& clip : workspace.clips)
                page.clips.push_back(
                    RawClip{clip.id, clip.title, clip.liked, workspace.id, workspace.name});
        rig.service.pages.push_back(page);
        rig.clock.run(rig->scan(ScanScope::full()));
        rig.service.calls.clear();
    }

    void run() { rig.clock.run(rig->start()); }
    Lines log() const { return Lines(rig.manager->log().begin(), rig.manager->log().end()); }
    void failAlways(const std::string& id) { rig.downloader.failing[urlOf(id)] = -1; }
    void failTimes(const std::string& id, int times) { rig.downloader.failing[urlOf(id)] = times; }

    std::vector<std::string> filesIn(const std::filesystem::path& folder) const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }
};

} // namespace

TEST_F(DownloadRunTest, withoutDestinationNothingChanges) {
    library({{"w", "Demos", {track("a", "A")}}});
    rig->setSelected({"w"});
    rig->setDestFolder(std::nullopt);
    rig.changes.clear();
    run();
    EXPECT_TRUE(rig.changes.empty());
    EXPECT_FALSE(rig->running());
    EXPECT_TRUE(rig.service.calls.empty());
}

TEST_F(DownloadRunTest, selectedWorkspacesAreFetchedInLibraryOrder) {
    library({{"w1", "Demos", {track("a", "Night Drive"), track("b", "AC/DC")}},
             {"w2", "Live", {track("c", "Opener")}},
             {"w3", "Unticked", {track("d", "Skipped")}}});
    rig->setSelected({"w2", "w1"});
    std::vector<bool> runningSeen;
    rig->signalChanged().connect([&](Property property) {
        if (property == Property::running)
            runningSeen.push_back(rig->running());
    });
    run();

    EXPECT_EQ(overalls, (Lines{"Workspace 1 of 2: Demos — track 1 of 2",
                               "Workspace 1 of 2: Demos — track 2 of 2",
                               "Workspace 2 of 2: Live — track 1 of 1", "Complete"}));
    EXPECT_EQ(log(), (Lines{"Demos — 2 files", "Saved: Night Drive", "Saved: AC/DC",
                            "Live — 1 file", "Saved: Opener"}));
    EXPECT_EQ(rig->current(), "Downloaded 3 files.");
    EXPECT_EQ(filesIn(out), (Lines{"Demos", "Live"}));
    EXPECT_EQ(filesIn(out / "Demos"), (Lines{"AC_DC.wav", "Night Drive.wav"}));
    EXPECT_EQ(filesIn(out / "Live"), (Lines{"Opener.wav"}));
    EXPECT_EQ(fractions.back(), 1.0);
    EXPECT_EQ(runningSeen, (std::vector<bool>{true, false}));
    EXPECT_TRUE(rig->failures().empty());
}

TEST_F(DownloadRunTest, likedOnlyTakesLikedTracksAndEmptyWorkspacesStillGetAFolder) {
    library({{"w1", "Demos", {track("a", "Liked"), track("b", "Not liked", false)}},
             {"w2", "Sketches", {track("c", "Also not", false)}}});
    rig->setSelected({"w1", "w2"});
    run();
    EXPECT_EQ(log(), (Lines{"Demos — 1 file", "Saved: Liked", "Sketches — 0 files"}));
    EXPECT_TRUE(std::filesystem::is_directory(out / "Sketches"));
    EXPECT_EQ(rig->current(), "Downloaded 1 file.");

    rig->setLikedOnly(false);
    run();
    EXPECT_EQ(rig->current(), "Downloaded 3 files.");
    // The second run replaces the first run's file under the same name.
    EXPECT_EQ(filesIn(out / "Demos"), (Lines{"Liked.wav", "Not liked.wav"}));
}

TEST_F(DownloadRunTest, nothingSelectedStillClearsTheLastRun) {
    library({{"w", "Demos", {track("a", "A")}}});
    rig->setSelected({"w"});
    failAlways("a");
    run();
    ASSERT_EQ(rig->failures().size(), 1u);

    rig->setSelected({});
    run();
    EXPECT_TRUE(rig->log().empty());
    EXPECT_TRUE(rig->failures().empty());
    EXPECT_EQ(rig->overall(), "Complete");
    EXPECT_EQ(rig->current(), "Downloaded 0 files.");
    EXPECT_EQ(rig->fraction(), 0.0);
}

TEST_F(DownloadRunTest, trackSavedInARetryRoundIsLoggedTwiceAndCountedOnce) {
    library({{"w", "Demos", {track("a", "Night Drive"), track("b", "Second")}}});
    rig->setSelected({"w"});
    failTimes("a", 1);
    run();
    EXPECT_EQ(log(), (Lines{"Demos — 2 files", "Slow to process, queued for retry: Night Drive",
                            "Saved: Second", "Demos: retry 1 — 1 remaining",
                            "Saved: Night Drive (retry 1)"}));
    EXPECT_EQ(overalls[2], "Workspace 1 of 1: Demos — retry 1: Night Drive");
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>{3});
    EXPECT_EQ(rig->current(), "Downloaded 2 files.");
    // Queuing does not move the progress; each outcome does.
    EXPECT_EQ(fractions, (std::vector<double>{0.5, 1.0}));
    // The retried track gets its name when it is saved, after the other.
    EXPECT_EQ(filesIn(out / "Demos"), (Lines{"Night Drive.wav", "Second.wav"}));
}

TEST_F(DownloadRunTest, roundThatSavesNothingEndsTheRetries) {
    library({{"w", "Demos", {track("a", "A"), track("b", "B"), track("c", "C")}}});
    rig->setSelected({"w"});
    for (const char* id : {"a", "b", "c"})
        failAlways(id);
    run();
    EXPECT_EQ(log(),
              (Lines{"Demos — 3 files", "Slow to process, queued for retry: A",
                     "Slow to process, queued for retry: B", "Slow to process, queued for retry: C",
                     "Demos: retry 1 — 3 remaining",
                     "Demos: 3 tracks could not be completed after repeated attempts",
                     "Unable to download: A", "Unable to download: B", "Unable to download: C"}));
    EXPECT_EQ(rig->failures(), (std::vector<FailedItem>{
                                   {"a", "A", "Demos"}, {"b", "B", "Demos"}, {"c", "C", "Demos"}}));
    EXPECT_EQ(rig->current(), "Downloaded 0 files · 3 could not be completed (see activity log).");
    EXPECT_EQ(fractions.back(), 1.0);
    EXPECT_FALSE(std::filesystem::exists(out / "Demos" / "A.wav"));
}

TEST_F(DownloadRunTest, retriesStopAfterTheEighthRound) {
    // Track k fails k times: one more track is saved in each round.
    Workspace workspace{"w", "Demos", {}};
    for (int k = 1; k <= 10; ++k) {
        workspace.clips.push_back(track("t" + std::to_string(k), "T" + std::to_string(k)));
        failTimes("t" + std::to_string(k), k);
    }
    library({workspace});
    rig->setSelected({"w"});
    run();
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(8, 3));
    const Lines lines = log();
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Demos: retry 8 — 3 remaining"), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "Saved: T8 (retry 8)"), 1);
    EXPECT_EQ(Lines(lines.end() - 2, lines.end()),
              (Lines{"Unable to download: T9", "Unable to download: T10"}));
    for (const std::string& line : lines)
        EXPECT_EQ(line.find("could not be completed"), std::string::npos) << line;
    EXPECT_EQ(rig->current(), "Downloaded 8 files · 2 could not be completed (see activity log).");
}

TEST_F(DownloadRunTest, cancelInTheFirstPassRecordsTheQueuedTracksAndSkipsTheRest) {
    library({{"w1", "One", {track("a", "A")}},
             {"w2", "Two", {track("b", "B"), track("c", "C")}},
             {"w3", "Three", {track("d", "D")}}});
    rig->setSelected({"w1", "w2", "w3"});
    rig.service.wavAnswer = [](const std::string& id) -> std::optional<std::string> {
        if (id == "b")
            return std::nullopt;
        return urlOf(id);
    };
    rig.service.onWavURL = [this](const std::string& id) {
        if (id == "b")
            rig->cancel();
    };
    run();
    EXPECT_EQ(log(), (Lines{"One — 1 file", "Saved: A", "Two — 2 files",
                            "Slow to process, queued for retry: B", "Unable to download: B"}));
    EXPECT_EQ(rig.service.count("triggerMP3Download"), 0u);
    EXPECT_EQ(rig->failures(), (std::vector<FailedItem>{{"b", "B", "Two"}}));
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(rig->current(), "Downloaded 1 file · 1 could not be completed (see activity log).");
    EXPECT_FALSE(std::filesystem::exists(out / "Three"));
    EXPECT_FALSE(rig->running());
}

TEST_F(DownloadRunTest, cancelInARoundRecordsOnlyTheTracksTried) {
    library({{"w", "Demos", {track("a", "A"), track("b", "B")}}});
    rig->setSelected({"w"});
    failAlways("a");
    failAlways("b");
    rig.downloader.onDownload = [this](const std::string&) {
        if (rig.downloader.downloads.size() == 3) // the first track of round 1
            rig->cancel();
    };
    run();
    EXPECT_EQ(log(), (Lines{"Demos — 2 files", "Slow to process, queued for retry: A",
                            "Slow to process, queued for retry: B", "Demos: retry 1 — 2 remaining",
                            "Unable to download: A"}));
    EXPECT_EQ(rig->failures().size(), 1u);
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(rig->current(), "Downloaded 0 files · 1 could not be completed (see activity log).");
}

TEST_F(DownloadRunTest, cancelDuringThePauseLetsItRunOutThenTriesNothing) {
    library({{"w", "Demos", {track("a", "A"), track("b", "B")}}});
    rig->setSelected({"w"});
    failAlways("a");
    failAlways("b");
    rig.clock.at(1.0, [this] { rig->cancel(); });
    run();
    EXPECT_DOUBLE_EQ(rig.clock.now(), 3.0);
    EXPECT_EQ(rig.downloader.downloads.size(), 2u);
    EXPECT_TRUE(rig->failures().empty());
    EXPECT_EQ(log().back(), "Demos: retry 1 — 2 remaining");
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(rig->current(), "Downloaded 0 files.");
}

TEST_F(DownloadRunTest, logKeepsTheNewestSixHundredLines) {
    Workspace workspace{"w", "Big", {}};
    for (int i = 0; i < 600; ++i)
        workspace.clips.push_back(track(std::to_string(i), "T" + std::to_string(i)));
    library({workspace});
    rig->setSelected({"w"});
    run();
    // 601 lines were written: the header is the one dropped.
    ASSERT_EQ(rig->log().size(), 600u);
    EXPECT_EQ(rig->log().front(), "Saved: T0");
    EXPECT_EQ(rig->log().back(), "Saved: T599");
}

TEST_F(DownloadRunTest, workspacesSharingAFolderNeverOverwriteEachOther) {
    library({{"w1", "A/B", {track("a", "Song")}}, {"w2", "A:B", {track("b", "song")}}});
    rig->setSelected({"w1", "w2"});
    run();
    EXPECT_EQ(filesIn(out), (Lines{"A_B"}));
    EXPECT_EQ(filesIn(out / "A_B"), (Lines{"Song.wav", "song (2).wav"}));
}

TEST_F(DownloadRunTest, dotNamedWorkspaceStaysInsideTheDestination) {
    library({{"w1", "..", {track("a", "Song")}}, {"w2", ".", {track("b", "Song")}}});
    rig->setSelected({"w1", "w2"});
    run();
    EXPECT_EQ(filesIn(out), (Lines{"_", "__"}));
    EXPECT_EQ(filesIn(temp.path()), (Lines{"data", "out"}));
}

TEST_F(DownloadRunTest, folderThatCannotBeMadeFailsItsTracks) {
    std::filesystem::create_directories(out);
    std::ofstream(out / "Demos") << "a file where the folder should be";
    library({{"w", "Demos", {track("a", "A")}}});
    rig->setSelected({"w"});
    run();
    EXPECT_EQ(rig->failures().size(), 1u);
    EXPECT_EQ(rig->overall(), "Complete");
}
