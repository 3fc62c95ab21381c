// The engine against the stand-in service and real files when things go
// wrong: the service, the network or the local disk. Each case checks the
// files left on disk, the log and the summary, and that the app can go on.
#include "async/GlibClock.hpp"
#include "download/SoupDownloader.hpp"
#include "manager/Fakes.hpp"
#include "support/Catalogue.hpp"
#include "support/DirectService.hpp"
#include "support/FastClock.hpp"
#include "support/StandInService.hpp"
#include "support/TempDir.hpp"

#include <cerrno>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// Where a tmpfs cannot be mounted, the disk fills up by hand: once armed,
// writes to files in the folder fail with ENOSPC after this many bytes.
struct DiskLimit {
    std::string folder;
    long long left = -1; // not armed
} diskLimit;

bool writesInto(int fd, const std::string& folder) {
    char target[4096];
    const std::string link = "/proc/self/fd/" + std::to_string(fd);
    const ssize_t length = readlink(link.c_str(), target, sizeof target);
    return length > 0 && std::string_view(target, std::size_t(length)).starts_with(folder + "/");
}

} // namespace

// Every write of this test program passes through here.
extern "C" ssize_t write(int fd, const void* data, size_t size) {
    if (diskLimit.left >= 0 && writesInto(fd, diskLimit.folder)) {
        if (diskLimit.left == 0) {
            errno = ENOSPC;
            return -1;
        }
        size = std::min<size_t>(size, size_t(diskLimit.left));
        diskLimit.left -= (long long)size;
    }
    return syscall(SYS_write, fd, data, size);
}

namespace {

using Lines = std::vector<std::string>;
using SimTesting::clip;

class FaultMatrixTest : public ::testing::Test {
  protected:
    TempDir temp;
    const std::filesystem::path dest = temp / "Music";
    const std::filesystem::path demos = dest / "Demos";
    const std::filesystem::path data = temp / "data";
    std::optional<SimTesting::CatalogueFile> catalogue;
    std::unique_ptr<StandInService> service;
    std::unique_ptr<DirectService> api;
    FastClock clock;
    MemorySettings settings;
    SoupDownloader downloader{1}; // a stalled transfer fails after a second
    std::unique_ptr<DownloadManager> manager;
    bool mounted = false;

    void TearDown() override {
        diskLimit = {};
        if (mounted)
            umount2(dest.c_str(), MNT_DETACH);
    }

    // The stand-in on these clips of workspace "Demos", converting at once,
    // and a manager whose destination is an existing folder.
    void start(std::vector<nlohmann::json> clips, std::vector<std::string> options = {}) {
        for (auto& c : clips)
            c["project"] = {{"id", "d"}, {"name", "Demos"}};
        catalogue.emplace(clips);
        options.insert(options.end(), {"--catalogue", catalogue->path(), "--convert-delay", "0"});
        service = std::make_unique<StandInService>(options);
        api = std::make_unique<DirectService>(service->apiOrigin());
        std::filesystem::create_directories(dest);
        manager = std::make_unique<DownloadManager>(*api, clock, settings, downloader, data);
        manager->setDestFolder(dest);
        manager->setLikedOnly(false);
    }

    // A tmpfs of the given options over the destination; false where this
    // machine does not allow mounting.
    bool mountDestination(const char* options, unsigned long flags = 0) {
        mounted =
            mount("orvo-test", dest.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | flags, options) == 0;
        return mounted;
    }

    void download() {
        if (manager->workspaces().empty())
            runOnMainLoop(manager->scan(ScanScope::full()));
        manager->setSelected({"d"});
        runOnMainLoop(manager->start());
    }
    Lines log() const { return Lines(manager->log().begin(), manager->log().end()); }
    Lines logTail(std::size_t count) const {
        const Lines lines = log();
        return Lines(lines.end() - std::ptrdiff_t(std::min(count, lines.size())), lines.end());
    }

    // What every case must leave: no activity, no temporary file, and no
    // file anywhere but in the destination and the app's own folder.
    void expectSettled() {
        EXPECT_FALSE(manager->running());
        EXPECT_FALSE(manager->scanning());
        for (const auto& entry : std::filesystem::recursive_directory_iterator(temp.path())) {
            const auto name = entry.path().filename().string();
            EXPECT_FALSE(name.ends_with(".part")) << entry.path();
            const auto relative = entry.path().lexically_relative(temp.path()).string();
            EXPECT_TRUE(relative.starts_with("Music") || relative.starts_with("data"))
                << entry.path();
        }
    }
    // A saved file holds the stand-in's WAV header and its sound.
    static bool isWav(const std::filesystem::path& file) {
        const std::string bytes = readFile(file);
        return bytes.size() > 44 && bytes.compare(0, 4, "RIFF") == 0 &&
               bytes.compare(8, 4, "WAVE") == 0;
    }
};

} // namespace

TEST_F(FaultMatrixTest, everyFailedTrackKeepsItsEarlierFileAndIsReportedOnce) {
    // Fetched through the storage redirect; every clip but "ok" fails its own way.
    start({clip("ok"), clip("missing"), clip("short"), clip("html"), clip("stall"),
           clip("never", {{"never_ready", true}})},
          {"--wav-redirect", "--wav-fault", "404@missing", "--wav-fault", "short@short",
           "--wav-fault", "not-wav@html", "--wav-fault", "stall@stall"});
    const Lines failing{"missing", "short", "html", "stall", "never"};
    std::filesystem::create_directories(demos);
    for (const std::string& id : failing)
        std::ofstream(demos / ("Track " + id + ".wav")) << "an earlier download of " << id;
    download();
    EXPECT_EQ(logTail(7),
              (Lines{"Demos: retry 1 — 5 remaining",
                     "Demos: 5 tracks could not be completed after repeated attempts",
                     "Unable to download: Track missing", "Unable to download: Track short",
                     "Unable to download: Track html", "Unable to download: Track stall",
                     "Unable to download: Track never"}));
    EXPECT_EQ(manager->current(),
              "Downloaded 1 file · 5 could not be completed (see activity log).");
    EXPECT_EQ(manager->fraction(), 1.0);
    ASSERT_EQ(manager->failures().size(), 5u);
    EXPECT_EQ(manager->failures().back(), (FailedItem{"never", "Track never", "Demos"}));
    for (const std::string& id : failing)
        EXPECT_EQ(readFile(demos / ("Track " + id + ".wav")), "an earlier download of " + id);
    EXPECT_EQ(namesIn(demos).size(), 6u);
    EXPECT_TRUE(isWav(demos / "Track ok.wav"));
    expectSettled();
}

TEST_F(FaultMatrixTest, diskFullPartWayThroughAFile) {
    start({clip("small", {{"wav_seconds", 0.5}}), clip("big", {{"wav_seconds", 20}})});
    const bool tmpfs = mountDestination("size=1m,mode=0755");
    const std::string reason = "Could not write to " + demos.string() + ": No space left on device";
    for (int run = 1; run <= 2; ++run) { // and again: nothing is stuck
        if (!tmpfs)
            diskLimit = {demos.string(), 300'000};
        download();
        EXPECT_EQ(logTail(3),
                  (Lines{"Saved: Track small", reason, "Unable to download: Track big"}));
        EXPECT_EQ(manager->overall(), "Stopped: " + reason);
        EXPECT_EQ(manager->current(),
                  "Downloaded 1 file · 1 could not be completed (see activity log).");
        EXPECT_EQ(namesIn(demos), Lines{"Track small.wav"});
        EXPECT_TRUE(isWav(demos / "Track small.wav"));
        expectSettled();
    }
}

TEST_F(FaultMatrixTest, destinationRemovedMidRun) {
    start({clip("a"), clip("b"), clip("c")});
    manager->signalChanged().connect([&](DownloadManager::Property property) {
        if (property == DownloadManager::Property::log && manager->log().back() == "Saved: Track a")
            std::filesystem::remove_all(dest); // the drive is pulled out
    });
    download();
    EXPECT_EQ(manager->overall(),
              "Stopped: Could not write to " + demos.string() + ": No such file or directory");
    EXPECT_FALSE(std::filesystem::exists(dest)); // not made again elsewhere
    expectSettled();

    // The next run does not start, and leaves the last run's account.
    const Lines lastLog = log();
    download();
    EXPECT_EQ(manager->overall(), "Destination folder not found: " + dest.string());
    EXPECT_EQ(manager->current(), "");
    EXPECT_EQ(log(), lastLog);
    EXPECT_EQ(manager->failures().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dest));
    expectSettled();
}

TEST_F(FaultMatrixTest, workspaceFolderThatCannotBeMade) {
    start({clip("a")});
    // A read-only destination; where root may write anyway and nothing can
    // be mounted, a file takes the folder's name.
    const bool byPermissions = geteuid() != 0;
    if (byPermissions)
        std::filesystem::permissions(dest, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::owner_exec);
    else if (!mountDestination("size=1m,mode=0755", MS_RDONLY))
        std::ofstream(demos) << "not a folder";
    download();
    const std::string reason = "Could not write to " + demos.string() + ": ";
    ASSERT_EQ(log().size(), 1u);
    EXPECT_TRUE(log()[0].starts_with(reason)) << log()[0];
    EXPECT_EQ(manager->overall(), "Stopped: " + log()[0]);
    EXPECT_EQ(manager->current(), "Downloaded 0 files.");
    EXPECT_FALSE(std::filesystem::is_directory(demos));
    expectSettled();
    if (byPermissions)
        std::filesystem::permissions(dest, std::filesystem::perms::owner_all);
}
