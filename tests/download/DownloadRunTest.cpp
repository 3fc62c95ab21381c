#include "manager/Fakes.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>

namespace {

using Property = DownloadManager::Property;
using Lines = std::vector<std::string>;

class DownloadRunTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
    std::filesystem::path out = temp / "out";
    Lines overalls;
    std::vector<double> fractions;

    void SetUp() override {
        std::filesystem::create_directory(out);
        rig->setDestFolder(out);
        rig->signalChanged().connect([this](Property property) {
            if (property == Property::overall)
                overalls.push_back(rig->overall());
            if (property == Property::fraction)
                fractions.push_back(rig->fraction());
        });
    }

    // One selected workspace "Demos" with the given track titles, each
    // failing its download the given number of times (-1: always).
    void demos(std::vector<std::pair<std::string, int>> tracks) {
        Workspace workspace{"w", "Demos", {}};
        for (const auto& [title, failures] : tracks) {
            workspace.clips.push_back(WClip{title, title, true});
            if (failures)
                rig.downloader.failing[urlOf(title)] = failures;
        }
        rig.library({workspace});
        rig->setSelected({"w"});
    }
    void run() { rig.clock.run(rig->start()); }
    Lines log() const { return Lines(rig.manager->log().begin(), rig.manager->log().end()); }
};

} // namespace

TEST_F(DownloadRunTest, selectedWorkspacesAreSavedInLibraryOrder) {
    rig.library({{"w1", "Demos", {{"a", "Night Drive", true}, {"b", "AC/DC", true}}},
                 {"w2", "Live", {{"c", "Opener", true}, {"d", "Unliked", false}}},
                 {"w3", "Unticked", {{"e", "Skipped", true}}}});
    rig->setSelected({"w2", "w1"});
    run();
    EXPECT_EQ(overalls, (Lines{"Workspace 1 of 2: Demos — track 1 of 2",
                               "Workspace 1 of 2: Demos — track 2 of 2",
                               "Workspace 2 of 2: Live — track 1 of 1", "Complete"}));
    EXPECT_EQ(log(), (Lines{"Demos — 2 files", "Saved: Night Drive", "Saved: AC/DC",
                            "Live — 1 file", "Saved: Opener"}));
    EXPECT_EQ(rig->current(), "Downloaded 3 files.");
    EXPECT_EQ(fractions, (std::vector<double>{1. / 3, 2. / 3, 1}));
    EXPECT_FALSE(rig->running());
    EXPECT_EQ(namesIn(out), (Lines{"Demos", "Live"}));
    EXPECT_EQ(namesIn(out / "Demos"), (Lines{"AC_DC.wav", "Night Drive.wav"}));

    // All tracks now; the second run replaces the first run's files.
    rig->setLikedOnly(false);
    run();
    EXPECT_EQ(rig->current(), "Downloaded 4 files.");
    EXPECT_EQ(namesIn(out / "Live"), (Lines{"Opener.wav", "Unliked.wav"}));
}

TEST_F(DownloadRunTest, runWithoutDestinationOrSelection) {
    demos({{"A", -1}});
    run();
    ASSERT_EQ(rig->failures().size(), 1u);

    rig->setDestFolder(std::nullopt);
    rig.changes.clear();
    run(); // no destination: nothing at all changes
    EXPECT_TRUE(rig.changes.empty());

    rig->setDestFolder(out);
    rig->setSelected({});
    run();
    EXPECT_TRUE(rig->log().empty());
    EXPECT_TRUE(rig->failures().empty());
    EXPECT_EQ(rig->overall(), "Complete");
    EXPECT_EQ(rig->current(), "Downloaded 0 files.");
    EXPECT_EQ(rig->fraction(), 0.0);
}

TEST_F(DownloadRunTest, retryRoundsSaveWhatTheyCanAndStopAfterTheEighth) {
    // Track k fails k times, so each round saves one more.
    std::vector<std::pair<std::string, int>> tracks;
    std::vector<double> expectedFractions;
    for (int k = 1; k <= 10; ++k) {
        tracks.emplace_back("T" + std::to_string(k), k);
        expectedFractions.push_back(double(k) / 10); // queuing moves nothing
    }
    demos(tracks);
    run();
    EXPECT_EQ(rig.clock.pauses(), std::vector<double>(8, 3));
    const Lines lines = log();
    ASSERT_EQ(lines.size(), 29u);
    EXPECT_EQ(Lines(lines.begin() + 10, lines.begin() + 14),
              (Lines{"Slow to process, queued for retry: T10", "Demos: retry 1 — 10 remaining",
                     "Saved: T1 (retry 1)", "Demos: retry 2 — 9 remaining"}));
    EXPECT_EQ(Lines(lines.end() - 5, lines.end()),
              (Lines{"Saved: T7 (retry 7)", "Demos: retry 8 — 3 remaining", "Saved: T8 (retry 8)",
                     "Unable to download: T9", "Unable to download: T10"}));
    EXPECT_EQ(overalls.at(10), "Workspace 1 of 1: Demos — retry 1: T1");
    EXPECT_EQ(fractions, expectedFractions);
    EXPECT_EQ(rig->current(), "Downloaded 8 files · 2 could not be completed (see activity log).");
}

TEST_F(DownloadRunTest, cancelRecordsOnlyTheTracksTriedAndSkipsTheRest) {
    // While B is polled in the first pass: B is recorded; C and the
    // workspace after are never tried.
    rig.library({{"w1", "One", {{"a", "A", true}}},
                 {"w2", "Two", {{"b", "B", true}, {"c", "C", true}}},
                 {"w3", "Three", {{"d", "D", true}}}});
    rig->setSelected({"w1", "w2", "w3"});
    rig.service.wavAnswer = [this](const std::string& id) -> std::optional<std::string> {
        if (id != "b")
            return urlOf(id);
        rig->cancel();
        return std::nullopt;
    };
    run();
    EXPECT_EQ(log(), (Lines{"One — 1 file", "Saved: A", "Two — 2 files",
                            "Slow to process, queued for retry: B", "Unable to download: B"}));
    EXPECT_EQ(rig->failures(), (std::vector<FailedItem>{{"b", "B", "Two"}}));
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(rig->current(), "Downloaded 1 file · 1 could not be completed (see activity log).");
    EXPECT_FALSE(std::filesystem::exists(out / "Three"));

    // During the pause before round 1: the pause runs out, nothing is tried.
    rig.service.wavAnswer = urlOf;
    demos({{"A", -1}, {"B", -1}});
    const double began = rig.clock.now();
    rig.clock.at(began + 1, [this] { rig->cancel(); });
    run();
    EXPECT_DOUBLE_EQ(rig.clock.now(), began + 3);
    EXPECT_EQ(log().back(), "Demos: retry 1 — 2 remaining");
    EXPECT_EQ(rig->current(), "Downloaded 0 files.");

    // While A is fetched in round 1: A is recorded, B is not.
    rig.downloader.destinations.clear();
    rig.downloader.onDownload = [this] {
        if (rig.downloader.destinations.size() == 3)
            rig->cancel();
    };
    run();
    EXPECT_EQ(log().back(), "Unable to download: A");
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(rig->current(), "Downloaded 0 files · 1 could not be completed (see activity log).");
}

TEST_F(DownloadRunTest, logKeepsTheNewestSixHundredLines) {
    std::vector<std::pair<std::string, int>> tracks;
    for (int i = 0; i < 600; ++i)
        tracks.emplace_back("T" + std::to_string(i), 0);
    demos(tracks);
    run(); // 601 lines: the header is dropped
    ASSERT_EQ(rig->log().size(), 600u);
    EXPECT_EQ(rig->log().front(), "Saved: T0");
    EXPECT_EQ(rig->log().back(), "Saved: T599");
}

TEST_F(DownloadRunTest, foldersStayInsideTheDestinationAndNeverOverwriteEachOther) {
    rig.library({{"w1", "A/B", {{"a", "Song", true}}},
                 {"w2", "A:B", {{"b", "song", true}}},
                 {"w3", "..", {{"c", "Song", true}}}});
    rig->setSelected({"w1", "w2", "w3"});
    run();
    EXPECT_EQ(namesIn(temp.path()), (Lines{"data", "out"}));
    EXPECT_EQ(namesIn(out), (Lines{"A_B", "__"}));
    EXPECT_EQ(namesIn(out / "A_B"), (Lines{"Song.wav", "song (2).wav"}));
    EXPECT_EQ(rig->current(), "Downloaded 3 files.");
}

TEST_F(DownloadRunTest, folderGoneInARetryRoundEndsTheRunWithItsReason) {
    rig.library({{"w", "Demos", {{"A", "A", true}, {"B", "B", true}, {"C", "C", true}}},
                 {"w2", "Later", {{"L", "L", true}}}});
    rig->setSelected({"w", "w2"});
    rig.downloader.failing[urlOf("A")] = 1;
    rig.downloader.failing[urlOf("B")] = 1;
    rig.downloader.onDownload = [this] {
        if (rig.downloader.destinations.size() == 4) // A in round 1
            std::filesystem::remove_all(out / "Demos");
    };
    run();
    const std::string reason =
        "Could not write to " + (out / "Demos").string() + ": No such file or directory";
    // The track tried and the one not tried yet are both left undone.
    const Lines lines = log();
    ASSERT_GE(lines.size(), 4u);
    EXPECT_EQ(Lines(lines.end() - 4, lines.end()),
              (Lines{"Demos: retry 1 — 2 remaining", reason, "Unable to download: A",
                     "Unable to download: B"}));
    EXPECT_EQ(rig->failures(), (std::vector<FailedItem>{{"A", "A", "Demos"}, {"B", "B", "Demos"}}));
    EXPECT_EQ(rig->overall(), "Stopped: " + reason);
    EXPECT_FALSE(rig->running());
    EXPECT_FALSE(std::filesystem::exists(out / "Later")); // the run went no further
    EXPECT_EQ(namesIn(temp.path()), (Lines{"data", "out"}));

    // Nothing is stuck: once the disk takes files again, the same run works.
    rig.downloader = FakeDownloader();
    run();
    EXPECT_EQ(rig->overall(), "Complete");
    EXPECT_EQ(rig->current(), "Downloaded 4 files.");
}

TEST_F(DownloadRunTest, leftoversOfAKilledRunAreRemovedAndNothingElse) {
    const auto folder = out / "Demos";
    std::filesystem::create_directories(folder);
    for (const char* name : {".orvo-a1B2c3.wav.part", ".orvo-zzzzzz.wav.part",
                             ".orvo-long-name.wav.part", "notes.txt", "Old.wav"})
        std::ofstream(folder / name) << "x";
    std::filesystem::create_directory(folder / ".orvo-dir999.wav.part");
    demos({{"A", 0}});
    run();
    EXPECT_EQ(namesIn(folder), (Lines{".orvo-dir999.wav.part", ".orvo-long-name.wav.part", "A.wav",
                                      "Old.wav", "notes.txt"}));
}

TEST_F(DownloadRunTest, failureOutsideTheEngineStillEndsTheRun) {
    demos({{"A", 0}, {"B", 0}});
    rig->signalChanged().connect([this](Property property) {
        if (property == Property::log && rig->log().back() == "Saved: A")
            throw std::runtime_error("window gone");
    });
    run();
    EXPECT_FALSE(rig->running());
    EXPECT_EQ(log().back(), "Download stopped: window gone");
    EXPECT_EQ(rig->overall(), "Stopped: window gone");
    EXPECT_EQ(rig->current(), "Downloaded 1 file.");
}

namespace {

// Each clip's file is ready this many seconds after its first conversion
// request since the calls were last cleared.
void convertIn(ManagerRig& rig, double seconds) {
    rig.service.wavAnswer = [&rig, seconds](const std::string& id) -> std::optional<std::string> {
        for (const FakeService::Call& call : rig.service.calls)
            if (call.operation == "convertWav" && call.argument == id)
                return rig.clock.now() >= call.time + seconds ? std::optional(urlOf(id))
                                                              : std::nullopt;
        return std::nullopt;
    };
}

} // namespace

TEST_F(DownloadRunTest, preparingAsksForUpcomingTracksBetweenPollsAndChangesNothingElse) {
    demos({{"A", 0}, {"B", 0}, {"C", 0}, {"D", 0}, {"E", 0}});
    convertIn(rig, 5);
    run();
    const Lines logOff = log(), overallsOff = overalls;
    const auto filesOff = rig.downloader.destinations;

    rig->setPrepareUpcoming(true);
    rig.service.calls.clear();
    rig.downloader.destinations.clear();
    overalls.clear();
    run();
    // A is polled at 0, 2.5 and 5 s; each wait asks for one track ahead.
    // B is ready when its turn comes; C, D and E ask for the next one in
    // turn, and their own conversion requests still come first.
    EXPECT_EQ(rig.service.operations(true),
              (Lines{"convertWav A", "wavURL A", "convertWav B", "wavURL A", "convertWav C",
                     "wavURL A", "convertWav B", "wavURL B", "convertWav C", "wavURL C",
                     "convertWav D", "wavURL C", "convertWav D", "wavURL D", "convertWav E",
                     "wavURL D", "convertWav E", "wavURL E", "wavURL E"}));
    EXPECT_EQ(log(), logOff);
    EXPECT_EQ(overalls, overallsOff);
    EXPECT_EQ(rig.downloader.destinations, filesOff);
}

TEST_F(DownloadRunTest, preparingMakesOneRequestAtATimeAndNoneAfterCancel) {
    demos({{"A", 0}, {"B", 0}, {"C", 0}, {"D", 0}, {"E", 0}, {"F", 0}, {"G", 0}});
    rig->setPrepareUpcoming(true);
    rig.service.wavAnswer = [](const std::string&) { return std::nullopt; };
    rig.service.latency = 0.5;
    rig.clock.at(4.0, [this] { rig->cancel(); });
    run();
    // The cancel comes during A's second poll: the wait after it asks for
    // nothing, and no poll follows.
    EXPECT_EQ(rig.service.operations(true),
              (Lines{"convertWav A", "wavURL A", "convertWav B", "wavURL A"}));
    EXPECT_EQ(log(), (Lines{"Demos — 7 files", "Slow to process, queued for retry: A",
                            "Unable to download: A"}));

    // Uncancelled, A's polls ask for the next four tracks only, and every
    // track is asked for ahead of its turn once at most.
    rig.service.calls.clear();
    run();
    Lines asked;
    std::map<std::string, int> conversions;
    for (const FakeService::Call& call : rig.service.calls)
        if (call.operation == "convertWav") {
            asked.push_back(call.argument);
            ++conversions[call.argument];
        }
    ASSERT_GE(asked.size(), 7u);
    // A's own, four ahead, A's after the prod, then B's own at its turn.
    EXPECT_EQ(Lines(asked.begin(), asked.begin() + 7), (Lines{"A", "B", "C", "D", "E", "A", "B"}));
    // Each track's own: first pass and round 1, each again after the prod.
    EXPECT_EQ(conversions,
              (std::map<std::string, int>{
                  {"A", 4}, {"B", 5}, {"C", 5}, {"D", 5}, {"E", 5}, {"F", 5}, {"G", 5}}));
    EXPECT_EQ(rig.service.mostAtOnce, 1);
}

TEST_F(DownloadRunTest, skippingLeavesFilesInPlaceFetchesTheRestAndKeepsTheirNames) {
    // A destination whose name is not UTF-8 is found again in the record.
    const auto music = temp / "M\xfcsik";
    std::filesystem::create_directory(music);
    rig->setDestFolder(music);
    rig->setSkipSaved(true);
    const auto folder = music / "Demos";
    const WClip a{"a", "Song", true}, b{"b", "Song", true}, changed{"c", "Changed", true},
        gone{"d", "Gone", true}, added{"n", "Song", true};
    rig.library({{"w", "Demos", {a, b, changed, gone}}});
    rig->setSelected({"w"});
    run();
    EXPECT_EQ(namesIn(folder), (Lines{"Changed.wav", "Gone.wav", "Song (2).wav", "Song.wav"}));

    std::filesystem::remove(folder / "Gone.wav");
    std::ofstream(folder / "Changed.wav", std::ios::app) << " edited";
    rig.relaunch(); // as on another day: both settings are restored
    rig.library({{"w", "Demos", {added, a, b, changed, gone}}});
    rig->setSelected({"w"});
    rig.downloader.destinations.clear();
    run();
    EXPECT_EQ(log(), (Lines{"Demos — 5 files", "Saved: Song", "Already saved: Song",
                            "Already saved: Song", "Saved: Changed", "Saved: Gone"}));
    EXPECT_EQ(rig->current(), "Downloaded 5 files.");
    EXPECT_EQ(rig->fraction(), 1.0);
    // The new track does not take a name that is kept.
    EXPECT_EQ(rig.downloader.destinations,
              (std::vector{folder / "Song (3).wav", folder / "Changed.wav", folder / "Gone.wav"}));
    EXPECT_EQ(readFile(folder / "Song.wav"), "RIFF0000WAVE" + urlOf("a"));
    EXPECT_EQ(readFile(folder / "Changed.wav"), "RIFF0000WAVE" + urlOf("c"));

    // Once everything is in place, nothing is asked or written at all; the
    // record is the app's own and stays out of the music folders.
    rig.service.calls.clear();
    rig.downloader.destinations.clear();
    run();
    EXPECT_TRUE(rig.service.calls.empty());
    EXPECT_TRUE(rig.downloader.destinations.empty());
    EXPECT_EQ(rig->current(), "Downloaded 5 files.");
    EXPECT_EQ(namesIn(folder),
              (Lines{"Changed.wav", "Gone.wav", "Song (2).wav", "Song (3).wav", "Song.wav"}));
    EXPECT_TRUE(std::filesystem::exists(rig->savedTracksURL()));
}
