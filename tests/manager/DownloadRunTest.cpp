#include "manager/Fakes.hpp"
#include "support/TempDir.hpp"

#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

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
                overalls.push_back(plain(rig->overall()));
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
    Lines log() const { return plain(rig.manager->log()); }
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
    // Each title is isolated in the line, the words around it are not.
    EXPECT_EQ(rig->log()[12], "Saved: \u2068T1\u2069 (retry 1)");
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
    rig.downloader.urls.clear();
    rig.downloader.onDownload = [this] {
        if (rig.downloader.urls.size() == 3)
            rig->cancel();
    };
    run();
    EXPECT_EQ(log().back(), "Unable to download: A");
    EXPECT_EQ(rig->overall(), "Cancelled");
    EXPECT_EQ(rig->current(), "Downloaded 0 files · 1 could not be completed (see activity log).");
}

TEST_F(DownloadRunTest, logKeepsTheNewestSixHundredLines) {
    std::vector<std::pair<std::string, int>> tracks;
    for (int i = 0; i < 300; ++i)
        tracks.emplace_back("T" + std::to_string(i), -1);
    demos(tracks);
    run(); // 603 lines: the header and the first two are dropped
    ASSERT_EQ(rig->log().size(), 600u);
    EXPECT_EQ(log().front(), "Slow to process, queued for retry: T2");
    EXPECT_EQ(log().back(), "Unable to download: T299");
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

TEST_F(DownloadRunTest, folderGoneInARetryRoundFailsItsWorkspaceOnly) {
    rig.library({{"w", "Demos", {{"A", "A", true}, {"B", "B", true}, {"C", "C", true}}},
                 {"w2", "Later", {{"L", "L", true}}}});
    rig->setSelected({"w", "w2"});
    rig.downloader.failing[urlOf("A")] = 1;
    rig.downloader.failing[urlOf("B")] = 1;
    rig.downloader.onDownload = [this] {
        if (rig.downloader.urls.size() == 4) // A in round 1
            std::filesystem::remove_all(out / "Demos");
    };
    run();
    const std::string reason =
        "Could not write to " + (out / "Demos").string() + ": No such file or directory";
    // The track tried and the one not tried yet are both listed; the next
    // workspace is saved all the same.
    EXPECT_EQ(log(), (Lines{"Demos — 3 files", "Slow to process, queued for retry: A",
                            "Slow to process, queued for retry: B", "Saved: C",
                            "Demos: retry 1 — 2 remaining", reason, "Unable to download: A",
                            "Unable to download: B", "Later — 1 file", "Saved: L"}));
    EXPECT_EQ(rig->failures(), (std::vector<FailedItem>{{"A", "A", "Demos"}, {"B", "B", "Demos"}}));
    EXPECT_EQ(rig->overall(), "Complete");
    EXPECT_EQ(rig->current(), "Downloaded 2 files · 2 could not be completed (see activity log).");
    EXPECT_EQ(namesIn(temp.path()), (Lines{"data", "out"}));

    // Nothing is stuck: the folder is made again and every file saved.
    rig.downloader = FakeDownloader();
    run();
    EXPECT_EQ(rig->overall(), "Complete");
    EXPECT_EQ(rig->current(), "Downloaded 4 files.");
    EXPECT_EQ(namesIn(out / "Demos"), (Lines{"A.wav", "B.wav", "C.wav"}));
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
        if (property == Property::log && plain(rig->log().back()) == "Saved: A")
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
    const auto filesOff = namesIn(out / "Demos");

    rig->setPrepareUpcoming(true);
    rig.service.calls.clear();
    overalls.clear();
    run();
    // A is polled at 0, 2.5 and 5 s; each wait asks for one track ahead.
    // B is ready when its turn comes; C, D and E ask for the next one in
    // turn. A track asked for ahead is only polled at its turn: one
    // conversion request per track.
    EXPECT_EQ(rig.service.operations(true),
              (Lines{"convertWav A", "wavURL A", "convertWav B", "wavURL A", "convertWav C",
                     "wavURL A", "wavURL B", "wavURL C", "convertWav D", "wavURL C", "wavURL D",
                     "convertWav E", "wavURL D", "wavURL E", "wavURL E"}));
    EXPECT_EQ(log(), logOff);
    EXPECT_EQ(overalls, overallsOff);
    EXPECT_EQ(namesIn(out / "Demos"), filesOff);
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
    // A's own, four ahead, A's after the prod, then F ahead of B, whose
    // turn asks nothing more.
    EXPECT_EQ(Lines(asked.begin(), asked.begin() + 7), (Lines{"A", "B", "C", "D", "E", "A", "F"}));
    // The first pass asks for each track once (ahead or at its turn), and
    // again after the prod; round 1 the same.
    EXPECT_EQ(conversions,
              (std::map<std::string, int>{
                  {"A", 4}, {"B", 4}, {"C", 4}, {"D", 4}, {"E", 4}, {"F", 4}, {"G", 4}}));
    EXPECT_EQ(rig.service.mostAtOnce, 1);
}

TEST_F(DownloadRunTest, everyFileKeepsItsTrackAndNothingOfTheUsersIsReplaced) {
    for (const bool skip : {true, false}) {
        SCOPED_TRACE(skip ? "skipping saved tracks" : "fetching everything");
        // A destination whose name is not UTF-8 is found again in the record.
        const auto music = temp / (skip ? "M\xfcsik" : "Music");
        const auto folder = music / "Demos";
        std::filesystem::create_directory(music);
        rig->setDestFolder(music);
        rig->setSkipSaved(skip);
        rig->setLikedOnly(true);
        const WClip a{"a", "Song", true}, b{"b", "Song", true}, unliked{"u", "Song", false},
            edited{"e", "Edited", true}, deleted{"d", "Deleted", true},
            newSong{"n", "Song", true}, notes{"m", "Notes", true};
        rig.library({{"w", "Demos", {a, b, unliked, edited, deleted}}});
        rig->setSelected({"w"});
        run();
        EXPECT_EQ(namesIn(folder), (Lines{"Deleted.wav", "Edited.wav", "Song (2).wav", "Song.wav"}));

        // The user edits one file in place (same size), deletes one, and
        // keeps files of their own where new tracks' names would fall.
        const std::string edit(readFile(folder / "Edited.wav").size(), 'E');
        std::ofstream(folder / "Edited.wav", std::ios::binary) << edit;
        std::filesystem::remove(folder / "Deleted.wav");
        std::ofstream(folder / "Song (3).wav") << "mine";
        std::ofstream(folder / "notes.WAV") << "mine too";
        rig.relaunch(); // as on another day: the settings are restored
        rig->setLikedOnly(false);
        rig.library({{"w", "Demos", {newSong, a, b, unliked, edited, deleted, notes}}});
        rig->setSelected({"w"});
        rig.downloader.urls.clear();
        run();

        const auto holds = [](const WClip& clip) { return "RIFF0000WAVE" + urlOf(clip.id); };
        const std::map<std::string, std::string> expected{
            {"Song.wav", holds(a)},          {"Song (2).wav", holds(b)},
            {"Song (3).wav", "mine"},        {"Song (4).wav", holds(newSong)},
            {"Song (5).wav", holds(unliked)}, {"Edited.wav", edit},
            {"Edited (2).wav", holds(edited)}, {"Deleted.wav", holds(deleted)},
            {"notes.WAV", "mine too"},       {"Notes (2).wav", holds(notes)}};
        std::map<std::string, std::string> found;
        for (const std::string& name : namesIn(folder))
            found[name] = readFile(folder / name);
        EXPECT_EQ(found, expected);
        EXPECT_EQ(log().at(2), skip ? "Already saved: Song" : "Saved: Song");
        EXPECT_TRUE(std::ranges::count(
            log(), "Kept your changed file Edited.wav; saved the new copy as Edited (2).wav"));
        EXPECT_EQ(rig->current(),
                  skip ? "Downloaded 5 files · 2 already saved." : "Downloaded 7 files.");
        EXPECT_EQ(rig->fraction(), 1.0);

        // Once everything is in place, nothing is asked or written at all.
        rig->setSkipSaved(true);
        rig.service.calls.clear();
        rig.downloader.urls.clear();
        run();
        EXPECT_TRUE(rig.service.calls.empty());
        EXPECT_TRUE(rig.downloader.urls.empty());
        EXPECT_EQ(rig->current(), "Downloaded 0 files · 7 already saved.");
        EXPECT_EQ(namesIn(folder).size(), expected.size());
    }
    // The record is the app's own and stays out of the music folders.
    EXPECT_TRUE(std::filesystem::exists(rig->savedTracksURL()));
}

TEST_F(DownloadRunTest, aFileThatCannotTakeTrackDetailsIsSavedAsReceived) {
    demos({{"A", 0}});
    run();
    const std::string received = readFile(out / "Demos" / "A.wav");
    // The fake's files are no WAV TagLib can open.
    rig->setTagFiles(true);
    run();
    EXPECT_EQ(log(), (Lines{"Demos — 1 file", "Saved without track details: A", "Saved: A"}));
    EXPECT_EQ(readFile(out / "Demos" / "A.wav"), received);
    EXPECT_EQ(rig.settings.values.at("addTrackDetails"), "true");
}

TEST_F(DownloadRunTest, aRefusedAddressFailsItsTrackAtOnceWithTheReason) {
    demos({{"A", 0}, {"B", 0}});
    rig.service.wavAnswer = [](const std::string& id) -> std::optional<std::string> {
        return id == "A" ? "file:///etc/passwd" : urlOf(id);
    };
    run();
    EXPECT_EQ(log(),
              (Lines{"Demos — 2 files",
                     "Unable to download: A (address refused: not a web address)", "Saved: B"}));
    EXPECT_EQ(rig->failures(), (std::vector<FailedItem>{{"A", "A", "Demos"}}));
    EXPECT_EQ(rig->current(), "Downloaded 1 file · 1 could not be completed (see activity log).");
}

TEST_F(DownloadRunTest, filesPlacedBeforeAKillAreKnownToTheNextRun) {
    demos({{"A", 0}, {"B", 0}, {"C", 0}, {"D", 0}});
    // A real process, killed outright while fetching the third track.
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        rig.downloader.onDownload = [this] {
            if (rig.downloader.urls.size() == 3)
                raise(SIGKILL);
        };
        run();
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);
    EXPECT_EQ(namesIn(out / "Demos"), (Lines{"A.wav", "B.wav"}));

    // The next start offers the run, with what is left of it by the
    // record; resuming fetches just that.
    rig.relaunch();
    ASSERT_TRUE(rig->unfinished());
    EXPECT_EQ(rig->unfinished()->left, 2u);
    rig.clock.run(rig->resume()); // before the library is there: kept for later
    EXPECT_EQ(rig->overall(),
              "Scan your library first: the tracks of your last download are not in it.");
    ASSERT_TRUE(rig->unfinished());
    rig->loadCache();
    rig->setSelected({});
    rig.downloader.urls.clear();
    rig.clock.run(rig->resume());
    EXPECT_EQ(rig.downloader.urls, (Lines{urlOf("C"), urlOf("D")}));
    EXPECT_EQ(rig->current(), "Downloaded 2 files · 2 already saved.");
    EXPECT_EQ(namesIn(out / "Demos"), (Lines{"A.wav", "B.wav", "C.wav", "D.wav"}));
    EXPECT_EQ(rig->selected(), (std::set<std::string>{"w"}));
    EXPECT_FALSE(rig->unfinished());
    rig.relaunch();
    EXPECT_FALSE(rig->unfinished());
}

TEST_F(DownloadRunTest, aRunCutShortIsOfferedAndFailuresCanBeTriedAgainOrCopied) {
    demos({{"A", 0}, {"B", -1}, {"C", 0}, {"D", 0}});
    // Signed out while the third track is fetched.
    rig.downloader.onDownload = [this] {
        if (rig.downloader.urls.size() == 3)
            rig->signedOut();
    };
    run();
    EXPECT_EQ(rig->overall(), DownloadManager::signedOutText);
    ASSERT_TRUE(rig->unfinished());
    // B, queued for a retry round, and D, never reached (C's transfer ended).
    EXPECT_EQ(rig->unfinished()->left, 2u);
    rig->dismissUnfinished();
    EXPECT_FALSE(rig->unfinished());
    rig.relaunch();
    EXPECT_FALSE(rig->unfinished());

    // A run to its end offers nothing; its failures can be tried again...
    rig.downloader.onDownload = nullptr;
    rig->loadCache();
    rig->setSelected({"w"});
    rig->setSkipSaved(true);
    run();
    EXPECT_FALSE(rig->unfinished());
    ASSERT_EQ(rig->failures().size(), 1u);
    // ...or copied for manual work.
    const FailedItem failed{"B", "B", "Demos"};
    EXPECT_EQ(rig->failuresText(), "B\tDemos\t" + failed.orvoURL().value_or("") + "\n");
    rig.downloader.failing.clear();
    rig.downloader.urls.clear();
    rig->setSelected({});
    rig.clock.run(rig->retryFailed());
    EXPECT_EQ(rig.downloader.urls, (Lines{urlOf("B")}));
    EXPECT_EQ(rig->current(), "Downloaded 1 file.");
    EXPECT_TRUE(rig->failures().empty());
}

TEST_F(DownloadRunTest, aRecordThatCannotBeReadOrWrittenStopsTheRun) {
    demos({{"A", 0}, {"B", 0}});
    const auto record = rig->savedTracksURL();
    // Unreadable: the run does not start, and the record stays as it is.
    std::filesystem::create_directories(record);
    run();
    EXPECT_EQ(rig->overall(), "Stopped: Could not read the record of saved files " +
                                  record.string() + ": Is a directory");
    EXPECT_TRUE(rig.downloader.urls.empty());
    EXPECT_TRUE(std::filesystem::is_directory(record));
    std::filesystem::remove(record);

    // Unwritable once the first file is in: the run stops, and the file the
    // record could not take is not left to pass for the user's.
    rig.downloader.onDownload = [&] {
        std::filesystem::create_symlink("/dev/full", SavedTracks::journalFile(record));
        rig.downloader.onDownload = nullptr;
    };
    run();
    const std::string line = "Could not record the saved files in " +
                             record.parent_path().string() +
                             ": No space left on device. Stopped so that nothing is "
                             "downloaded twice.";
    EXPECT_EQ(rig->overall(), "Stopped: " + line);
    EXPECT_EQ(log(), (Lines{"Demos — 2 files", line, "Unable to download: A"}));
    EXPECT_EQ(rig.downloader.urls.size(), 1u);
    EXPECT_TRUE(namesIn(out / "Demos").empty());
}

TEST_F(DownloadRunTest, aDriveIsKnownByItsDiskNotByWhereItIsMounted) {
    if (geteuid() != 0)
        GTEST_SKIP() << "mounting a disk image needs root";
    const auto image = temp / "stick.img";
    const auto mount = [&](const std::filesystem::path& at) {
        std::filesystem::create_directories(at);
        return std::system(("mount -o loop '" + image.string() + "' '" + at.string() + "'").c_str()) == 0;
    };
    if (std::system(("truncate -s 4M '" + image.string() + "' && mkfs.ext4 -q '" +
                     image.string() + "'").c_str()) != 0 ||
        !mount(temp / "stick"))
        GTEST_SKIP() << "no loop devices here";
    demos({{"A", 0}, {"B", 0}});
    rig->setDestFolder(temp / "stick");
    run();
    ASSERT_EQ(std::system(("umount '" + (temp / "stick").string() + "'").c_str()), 0);

    // The mount point left behind is refused, at the next start too.
    rig.relaunch();
    rig->loadCache();
    rig->setSelected({"w"});
    rig->setSkipSaved(true);
    run();
    EXPECT_EQ(rig->overall(), (temp / "stick").string() +
                                  " is not on the disk it was on last time. Connect the drive, "
                                  "or choose the folder again.");
    EXPECT_TRUE(namesIn(temp / "stick").empty());

    // The same stick under another path finds its files.
    ASSERT_TRUE(mount(temp / "stick1"));
    rig->setDestFolder(temp / "stick1");
    run();
    std::system(("umount '" + (temp / "stick1").string() + "'").c_str());
    EXPECT_EQ(rig->current(), "Downloaded 0 files · 2 already saved.");

    // Chosen again after the refusal, the empty folder is meant.
    rig->setDestFolder(temp / "stick");
    run();
    EXPECT_TRUE(plain(rig->overall()).ends_with("choose the folder again."));
    rig->setDestFolder(temp / "stick");
    run();
    EXPECT_EQ(rig->current(), "Downloaded 2 files.");
}
