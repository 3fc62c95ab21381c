// A run killed outright at each instant where it renames, syncs or writes,
// then started again: the folders hold one file per track, every file is
// known for the app's own, and nothing temporary is left behind.
//
// Each run is a child process: this test binary again, filtered to
// CrashChild.run, under strace, which kills it on its Nth call of one
// system call.
#include "manager/Fakes.hpp"
#include "manager/KeyFileSettings.hpp"
#include "manager/SavedTracks.hpp"
#include "support/TempDir.hpp"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <sys/wait.h>

namespace {

using Lines = std::vector<std::string>;

// Two workspaces, so that the record is folded after the first and at the end.
const std::vector<Workspace> library{
    {"w1", "Demos", {{"a", "Night Drive", true}, {"b", "Take", true}}},
    {"w2", "Live", {{"c", "Song", true}}},
};
const std::map<std::string, Lines> expectedFiles{{"Demos", {"Night Drive.wav", "Take.wav"}},
                                                 {"Live", {"Song.wav"}}};

// A small real WAV file, whose audio differs by address and by version, and
// so does its size.
class WavDownloader final : public FileDownloader {
  public:
    int version = 1;
    Task<PartFile> download(std::string url, std::filesystem::path folder, CancelSignal&) override {
        std::string audio;
        for (int i = 0; i < 400 + 8 * version; ++i)
            audio += url[std::size_t(i) % url.size()] + char(version);
        const auto le32 = [](std::uint32_t n) {
            return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
        };
        const std::string format{1, 0, 1, 0, 0x40, 0x1f, 0, 0, char(0x80), 0x3e, 0, 0, 2, 0, 16, 0};
        const std::string body =
            "WAVEfmt " + le32(16) + format + "data" + le32(std::uint32_t(audio.size())) + audio;
        const std::string file = "RIFF" + le32(std::uint32_t(body.size())) + body;
        PartFile part(folder);
        part.write(file.data(), file.size());
        part.finish();
        co_return std::move(part);
    }
};

struct Scene {
    bool tagFiles = false;
    bool refresh = false; // the files are there from a finished run before
    // A run killed at this call before, so that the next start has a
    // journal to fold.
    std::string killedAt;
    int killedWhen = 0;
    // After the kill, the journal's last line is cut in half, as a power
    // cut leaves a line that was not synced yet.
    bool tear = false;
};

// A system call as strace showed it, and how many of its kind came before.
struct Call {
    std::string name, text;
    int when = 0;
};

class CrashTest : public ::testing::Test {
  protected:
    TempDir temp;
    std::filesystem::path root = temp / "run";

    // Runs the child, killed by strace at the when-th call of the system
    // call when there is one. Whether it was killed.
    bool child(const Scene& scene, int version, const std::string& syscall = "", int when = 0,
               const std::string& trace = "") {
        std::ostringstream command;
        command << "ORVO_CRASH_ROOT='" << root.string() << "' ORVO_CRASH_TAGS=" << scene.tagFiles
                << " ORVO_CRASH_VERSION=" << version << ' ';
        if (!syscall.empty())
            command << "strace -f -qq -o /dev/null -e inject=" << syscall
                    << ":signal=KILL:when=" << when << ' ';
        else if (!trace.empty())
            command << "strace -f -qq -y -e trace=" << tracedCalls << " -o '" << trace << "' ";
        command << "'" << std::filesystem::read_symlink("/proc/self/exe").string()
                << "' --gtest_filter=CrashChild.run >/dev/null 2>&1";
        const int status = std::system(command.str().c_str());
        if ((WIFEXITED(status) && WEXITSTATUS(status) == 128 + SIGKILL) ||
            (WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL))
            return true;
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command.str();
        return false;
    }

    // Starts afresh: with the files of a finished run when it is a refresh,
    // and with what a run killed before left.
    void prepare(const Scene& scene) {
        std::filesystem::remove_all(root);
        std::filesystem::create_directories(root / "out");
        if (scene.refresh)
            child(scene, 1);
        if (!scene.killedAt.empty()) {
            EXPECT_TRUE(child(scene, 2, scene.killedAt, scene.killedWhen));
        }
    }

    // The system calls a run makes that can be cut off, in order.
    std::vector<Call> calls(const Scene& scene) {
        prepare(scene);
        const std::filesystem::path trace = temp / "trace";
        child(scene, 2, "", 0, trace);
        std::vector<Call> seen;
        std::map<std::string, int> counts;
        std::ifstream lines(trace);
        for (std::string line; std::getline(lines, line);) {
            // "PID call(arguments) = result", the PID padded with spaces.
            const auto start = line.find_first_not_of(' ', line.find(' '));
            const auto open = line.find('(', start);
            if (start != std::string::npos && open != std::string::npos) {
                std::string call = line.substr(start, open - start);
                seen.push_back({call, line.substr(start), ++counts[call]});
            }
        }
        return seen;
    }

    // Cuts the journal's last line in half.
    void tearJournal() {
        const std::filesystem::path journal = root / "data" / "saved-tracks.journal";
        std::string text = readFile(journal);
        if (text.size() < 2)
            return;
        const auto start = text.rfind('\n', text.size() - 2);
        const std::size_t lineStart = start == std::string::npos ? 0 : start + 1;
        std::filesystem::resize_file(journal, lineStart + (text.size() - lineStart) / 2);
    }

    // After a kill, a run started again leaves one file per track, all the
    // app's own, no copy, no word of a changed file, nothing temporary.
    void expectSettled(const Scene& scene, const std::string& instant) {
        SCOPED_TRACE(instant);
        child(scene, 3);
        for (const auto& [folder, names] : expectedFiles)
            EXPECT_EQ(namesIn(root / "out" / folder), names);
        const std::string log = readFile(root / "log");
        EXPECT_EQ(log.find("Kept your changed file"), std::string::npos) << log;
        EXPECT_EQ(namesIn(root / "data"), (Lines{"library.json", "saved-tracks.json"}));
        EXPECT_EQ(namesIn(root / "config"), (Lines{"settings.ini"}));
        const SavedTracks record(root / "data" / "saved-tracks.json", root / "out");
        for (const Workspace& workspace : library)
            for (const WClip& clip : workspace.clips) {
                const SavedTracks::File* file = record.find(workspace.name, clip.id);
                ASSERT_TRUE(file) << clip.id;
                EXPECT_TRUE(
                    file->matches(FileStamp::of(root / "out" / workspace.name / file->name)))
                    << clip.id;
            }
    }

    // Kills a run at every call of the system calls, one instant at a time.
    void killEverywhere(const Scene& scene, const Lines& syscalls) {
        int killed = 0;
        // Whether the journal's last line was not synced yet when the call came.
        bool unsynced = false;
        for (const Call& call : calls(scene)) {
            const bool tearable = unsynced;
            if (call.text.find("saved-tracks.journal") != std::string::npos)
                unsynced = call.name == "write";
            if (std::ranges::find(syscalls, call.name) == syscalls.end() ||
                (scene.tear && !tearable))
                continue;
            prepare(scene);
            const bool wasKilled = child(scene, 2, call.name, call.when);
            killed += wasKilled;
            if (wasKilled && scene.tear)
                tearJournal();
            expectSettled(scene, call.name + " #" + std::to_string(call.when) + ": " + call.text);
            if (HasFailure())
                return;
        }
        EXPECT_GT(killed, 0);
        std::printf("killed and started again at %d instants\n", killed);
    }

    static constexpr const char* tracedCalls =
        "rename,renameat,renameat2,fsync,fdatasync,write,unlink";
};

} // namespace

// The child: one run over the files under ORVO_CRASH_ROOT, as a freshly
// started app does it; passes over when not asked for.
TEST(CrashChild, run) {
    const char* rootText = std::getenv("ORVO_CRASH_ROOT");
    if (!rootText)
        GTEST_SKIP() << "run by CrashTest only";
    const std::filesystem::path root = rootText;
    VirtualClock clock;
    FakeService service{clock};
    WavDownloader downloader;
    downloader.version = std::atoi(std::getenv("ORVO_CRASH_VERSION"));
    KeyFileSettings settings(root / "config" / "settings.ini");
    DownloadManager manager(service, clock, settings, downloader, root / "data");
    FeedPage page;
    for (const Workspace& workspace : library)
        for (const WClip& clip : workspace.clips)
            page.clips.push_back(
                RawClip{clip.id, clip.title, clip.liked, workspace.id, workspace.name});
    service.pages.push_back(page);
    clock.run(manager.scan(ScanScope::full()));
    manager.setDestFolder(root / "out");
    manager.setTagFiles(std::string(std::getenv("ORVO_CRASH_TAGS")) == "1");
    manager.setSelected({"w1", "w2"});
    clock.run(manager.start());
    std::ofstream log(root / "log");
    for (const std::string& line : manager.log())
        log << plain(line) << '\n';
}

TEST_F(CrashTest, aKillAtAnyRenameOrSyncLeavesOneKnownFilePerTrack) {
    killEverywhere({}, {"renameat2", "rename", "fsync", "fdatasync", "unlink"});
}

TEST_F(CrashTest, aKillAtAnyWriteLeavesOneKnownFilePerTrack) {
    killEverywhere({}, {"write"});
}

TEST_F(CrashTest, withTrackDetailsTheSame) {
    killEverywhere({.tagFiles = true}, {"renameat2", "rename", "fsync", "fdatasync"});
}

TEST_F(CrashTest, aJournalLineTornByAPowerCutIsAnIntentNeverMade) {
    // Cut off at a sync of the journal (an announcement never synced) or at
    // a write (a line remembering a file, which needs no sync of its own).
    killEverywhere({.tear = true}, {"fdatasync", "write"});
}

TEST_F(CrashTest, aKillWhileTheNextStartFoldsTheJournalLosesNothing) {
    // The first run is killed between placing its second file and syncing
    // the folder: its journal announces the file and remembers it not.
    const auto first = calls({});
    const auto placed = std::ranges::find_if(first, [placedCount = 0](const Call& call) mutable {
        return call.name == "renameat2" && call.text.find(".wav\"") != std::string::npos &&
               ++placedCount == 2;
    });
    ASSERT_NE(placed, first.end());
    const auto sync =
        std::find_if(placed, first.end(), [](const Call& call) { return call.name == "fsync"; });
    ASSERT_NE(sync, first.end());
    killEverywhere({.killedAt = "fsync", .killedWhen = sync->when},
                   {"renameat2", "rename", "fsync", "unlink"});
}

TEST_F(CrashTest, aRefreshOfTheAppsOwnFilesKeepsThemTheAppsOwn) {
    killEverywhere({.refresh = true}, {"renameat2", "rename", "fsync", "fdatasync"});
    killEverywhere({.tagFiles = true, .refresh = true}, {"renameat2", "rename", "fdatasync"});
}
