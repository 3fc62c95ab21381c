// The engine against the stand-in service and real files when things go
// wrong: the service, the network or the local disk. Each case checks the
// files left on disk, the log and the summary, and that the app can go on.
#include "async/GlibClock.hpp"
#include "download/SoupDownloader.hpp"
#include "manager/Fakes.hpp"
#include "model/Origins.hpp"
#include "support/Catalogue.hpp"
#include "support/DirectService.hpp"
#include "support/FastClock.hpp"
#include "support/StandInService.hpp"
#include "support/TempDir.hpp"

#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/tpropertymap.h>
#include <taglib/wavfile.h>

#include <cerrno>
#include <cstring>
#include <dlfcn.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
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

// Names the disk refuses, as exFAT refuses ":" and control characters:
// once set, making a file or folder whose path holds this fails with EINVAL.
std::string refusedName;
template <typename Call> int unlessRefused(const char* path, Call call) {
    if (refusedName.empty() || std::string_view(path).find(refusedName) == std::string::npos)
        return int(call());
    errno = EINVAL;
    return -1;
}

// Once set, the free space the disk of the destination reports.
std::optional<std::uint64_t> freeBytes;
std::string freeBytesFolder;

} // namespace

extern "C" int renameat2(int fromFolder, const char* from, int toFolder, const char* to,
                         unsigned flags) {
    return unlessRefused(
        to, [&] { return syscall(SYS_renameat2, fromFolder, from, toFolder, to, flags); });
}

extern "C" int link(const char* from, const char* to) {
    return unlessRefused(to, [&] { return syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0); });
}

extern "C" int mkdir(const char* path, mode_t mode) {
    return unlessRefused(path, [&] { return syscall(SYS_mkdirat, AT_FDCWD, path, mode); });
}

extern "C" int statvfs(const char* path, struct statvfs* disk) {
    static const auto real =
        reinterpret_cast<int (*)(const char*, struct statvfs*)>(dlsym(RTLD_NEXT, "statvfs"));
    const int result = real(path, disk);
    if (result == 0 && freeBytes && std::string_view(path).starts_with(freeBytesFolder))
        disk->f_bavail = *freeBytes / disk->f_frsize;
    return result;
}

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
    // The stand-in is all on 127.0.0.1; a stalled transfer fails after a second.
    SoupDownloader downloader{
        DownloadAddressPolicy(Origins{"http://127.0.0.1:1", "http://127.0.0.1:2", ""}),
        {1, 64 * 1024}};
    std::unique_ptr<DownloadManager> manager;
    bool mounted = false;

    void TearDown() override {
        diskLimit = {};
        refusedName.clear();
        freeBytes.reset();
        if (mounted)
            umount2(dest.c_str(), MNT_DETACH);
    }

    // The stand-in on these clips (of workspace "Demos" unless they name
    // theirs), converting at once, and a manager whose destination is an
    // existing folder.
    void start(std::vector<nlohmann::json> clips, std::vector<std::string> options = {}) {
        for (auto& c : clips)
            if (c["project"]["id"] == "P")
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

    // Every workspace, all tracks.
    void download() {
        if (manager->workspaces().empty())
            runOnMainLoop(manager->scan(ScanScope::full()));
        std::set<std::string> all;
        for (const Workspace& workspace : manager->workspaces())
            all.insert(workspace.id);
        manager->setSelected(all);
        runOnMainLoop(manager->start());
    }
    Lines log() const { return plain(manager->log()); }
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
    // The disk fills while the file is written, though it had room for it
    // when the transfer began.
    start({clip("small", {{"wav_seconds", 0.5}}), clip("big", {{"wav_seconds", 20}})});
    const std::string reason = "Could not write to " + demos.string() + ": No space left on device";
    for (int run = 1; run <= 2; ++run) { // and again: nothing is stuck
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
        if (property == DownloadManager::Property::log &&
            plain(manager->log().back()) == "Saved: Track a")
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
    EXPECT_EQ(manager->fraction(), 0.0); // no full bar beside the message
    EXPECT_EQ(log(), lastLog);
    EXPECT_EQ(manager->failures().size(), 1u);
    EXPECT_FALSE(std::filesystem::exists(dest));
    expectSettled();
}

TEST_F(FaultMatrixTest, aRefusedNameOrFolderFailsItsTracksAndTheRunGoesOn) {
    const auto in = [](const std::string& workspace) {
        return nlohmann::json{{"project", {{"id", workspace}, {"name", workspace}}}};
    };
    start({clip("a"), clip("refused"), clip("b"), clip("c", in("Refused folder")),
           clip("d", in("Taken")), clip("e", in("Later"))});
    refusedName = "efused";
    std::ofstream(dest / "Taken") << "a file of the user's where a folder would go";
    download();
    const std::string demosReason = "Could not write to " + (demos / "Track refused.wav").string() +
                                    ": Invalid argument";
    EXPECT_EQ(log(),
              (Lines{"Demos — 3 files", "Saved: Track a",
                     "Unable to download: Track refused (" + demosReason + ")", "Saved: Track b",
                     "Refused folder — 1 file",
                     "Could not write to " + (dest / "Refused folder").string() +
                         ": Invalid argument",
                     "Unable to download: Track c", "Taken — 1 file",
                     "Could not write to " + (dest / "Taken").string() + ": File exists",
                     "Unable to download: Track d", "Later — 1 file", "Saved: Track e"}));
    EXPECT_EQ(manager->overall(), "Complete");
    EXPECT_EQ(manager->current(),
              "Downloaded 3 files · 3 could not be completed (see activity log).");
    EXPECT_EQ(manager->failures().size(), 3u);
    EXPECT_EQ(readFile(dest / "Taken"), "a file of the user's where a folder would go");
    expectSettled();
}

TEST_F(FaultMatrixTest, aFileTheDiskHasNoRoomForStopsTheRunBeforeAByteIsWritten) {
    start({clip("a"), clip("b")});
    freeBytes = 10 << 20;
    freeBytesFolder = dest.string();
    download();
    ASSERT_EQ(log().size(), 3u);
    const std::string reason = log()[1];
    EXPECT_TRUE(reason.starts_with("Not enough space on " + demos.string() + ": 67."));
    EXPECT_TRUE(reason.ends_with("\u00a0MB needed, 10.5\u00a0MB free")) << reason;
    EXPECT_EQ(log()[2], "Unable to download: Track a");
    EXPECT_EQ(manager->overall(), "Stopped: " + reason);
    EXPECT_TRUE(namesIn(demos).empty());
    expectSettled();
}

TEST_F(FaultMatrixTest, aReadOnlyDiskStopsTheRun) {
    start({clip("a")});
    if (!mountDestination("size=1m,mode=0755", MS_RDONLY))
        GTEST_SKIP() << "this machine does not allow mounting a read-only tmpfs";
    download();
    const std::string reason =
        "Could not write to " + demos.string() + ": Read-only file system";
    EXPECT_EQ(log(), Lines{reason});
    EXPECT_EQ(manager->overall(), "Stopped: " + reason);
    EXPECT_EQ(manager->current(), "Downloaded 0 files.");
    expectSettled();
}

namespace {

// Runs a command: whether it succeeded, and its output, or why it failed.
std::pair<bool, std::string> run(std::vector<std::string> command) {
    std::vector<char*> argv;
    for (std::string& part : command)
        argv.push_back(part.data());
    argv.push_back(nullptr);
    gchar *output = nullptr, *errors = nullptr;
    gint status = 0;
    GError* error = nullptr;
    const bool ran = g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_SEARCH_PATH, nullptr,
                                  nullptr, &output, &errors, &status, &error);
    const bool ok = ran && g_spawn_check_wait_status(status, nullptr);
    const std::string said = ok ? g_strstrip(output) : !ran ? error->message
                                                           : command[0] + ": " + errors;
    g_clear_error(&error);
    g_free(output);
    g_free(errors);
    return {ok, said};
}

// Runs a command when it goes out of scope.
struct Later {
    std::vector<std::string> command;
    ~Later() { run(command); }
};

} // namespace

// A USB stick as musicians carry them: an exFAT image on a loop device,
// mounted with the FUSE driver.
TEST_F(FaultMatrixTest, anExfatStickTakesEveryTitleAndKeepsThemApart) {
    const TempDir images;
    const auto image = images / "stick.img";
    std::filesystem::create_directories(dest);
    // Room for the files and the space the app keeps free.
    std::filesystem::resize_file((std::ofstream(image), image), 256 << 20);
    if (const auto [ok, why] = run({"mkfs.exfat", image.string()}); !ok)
        GTEST_SKIP() << "cannot make an exFAT file system: " << why;
    const auto [looped, device] = run({"losetup", "-f", "--show", image.string()});
    if (!looped || device.empty())
        GTEST_SKIP() << "this machine gives no loop device: " << device;
    const Later detach{{"losetup", "-d", device}};
    if (const auto [ok, why] = run({"mount.exfat-fuse", device, dest.string()}); !ok)
        GTEST_SKIP() << "this machine does not allow mounting exFAT: " << why;
    const Later unmount{{"umount", dest.string()}};

    const auto in = [](const std::string& workspace, const std::string& title) {
        return nlohmann::json{{"title", title}, {"project", {{"id", workspace}, {"name", workspace}}}};
    };
    start({clip("a", in("Demo.", "Ctrl\x01"
                                                  "char")), clip("b", in("Demo.", "Time: 12:30")),
           clip("c", in("Demo.", "Ends with dots...")), clip("d", in("Demo.", "Song")),
           clip("e", in("Demo.", "SONG")), clip("f", in("Demo.", "con")),
           clip("g", in("Demo", "song"))});
    download();
    EXPECT_EQ(manager->current(), "Downloaded 7 files.");
    EXPECT_EQ(namesIn(dest), Lines{"Demo"});
    const Lines names = namesIn(dest / "Demo");
    EXPECT_EQ(names.size(), 7u);
    for (const char* name : {"Ctrl_char.wav", "Time_ 12_30.wav", "Ends with dots.wav", "con_.wav"})
        EXPECT_TRUE(std::ranges::count(names, name)) << name;
    for (const std::string& name : names)
        EXPECT_TRUE(isWav(dest / "Demo" / name)) << name;

    // The stick keeps the times the record holds: nothing is fetched again.
    manager->setSkipSaved(true);
    download();
    EXPECT_EQ(manager->current(), "Downloaded 0 files · 7 already saved.");
    EXPECT_EQ(namesIn(dest / "Demo"), names);
    expectSettled();
}

namespace {

// The bytes from the chunk named to the end of that chunk.
std::string chunk(const std::string& wav, const char* name) {
    for (std::size_t at = 12; at + 8 <= wav.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, wav.data() + at + 4, 4);
        if (wav.compare(at, 4, name) == 0)
            return wav.substr(at, 8 + std::size_t(size));
        at += 8 + size + (size & 1);
    }
    return {};
}

} // namespace

// Titles from the hostile end of the catalogue, read back by TagLib and by
// exiftool; with the switch off, the files are what the service sent.
TEST_F(FaultMatrixTest, trackDetailsGoIntoTheFilesAndLeaveTheSoundAlone) {
    const std::string rtl = "\u05e9\u05d9\u05e8 \u05dc\u05d9\u05dc\u05d4 \u0623\u063a\u0646\u064a\u0629";
    const std::string longTitle(300, 'x');
    const struct {
        const char* id;
        std::string title, file, tag;
    } tracks[] = {
        {"s", "AC/DC", "AC_DC.wav", "AC/DC"},
        {"l", longTitle, std::string(150, 'x') + ".wav", longTitle},
        {"r", rtl, rtl + ".wav", rtl},
        {"c", "Ctrl\x01" "char", "Ctrl\x01" "char.wav", "Ctrl char"},
    };
    std::vector<nlohmann::json> clips;
    for (const auto& t : tracks)
        clips.push_back(clip(t.id, {{"title", t.title}}));
    start(clips);
    download();
    std::map<std::string, std::string> served;
    for (const auto& t : tracks) {
        const auto url = runOnMainLoop(api->wavURL(t.id));
        ASSERT_TRUE(url);
        CancelSignal never;
        PartFile part = runOnMainLoop(downloader.download(*url, temp.path(), never));
        part.replace("served.wav");
        served[t.id] = readFile(temp / "served.wav");
        std::filesystem::remove(temp / "served.wav");
    }
    for (const auto& t : tracks)
        EXPECT_EQ(readFile(demos / t.file), served[t.id]) << t.file;

    manager->setTagFiles(true);
    download();
    EXPECT_EQ(manager->current(), "Downloaded 4 files.");
    for (const auto& t : tracks) {
        const auto file = demos / t.file;
        const std::string saved = readFile(file);
        const std::string data = chunk(saved, "data");
        EXPECT_FALSE(data.empty()) << t.file;
        EXPECT_TRUE(data == chunk(served[t.id], "data")) << t.file;
        EXPECT_EQ(chunk(saved, "fmt "), chunk(served[t.id], "fmt ")) << t.file;

        const TagLib::String tag(t.tag, TagLib::String::UTF8);
        const std::string link = Origins::current().songURL(t.id).value_or("");
        TagLib::RIFF::WAV::File wav(file.c_str(), false);
        ASSERT_TRUE(wav.isValid() && wav.hasInfoTag() && wav.hasID3v2Tag()) << t.file;
        EXPECT_EQ(wav.InfoTag()->fieldText("INAM"), tag) << t.file;
        EXPECT_EQ(wav.InfoTag()->fieldText("IPRD"), "Demos");
        EXPECT_EQ(wav.InfoTag()->fieldText("ICMT"), link);
        EXPECT_TRUE(wav.InfoTag()->fieldText("ISFT").startsWith("Orvo WAV Downloader "));
        const TagLib::PropertyMap id3 = wav.ID3v2Tag()->properties();
        EXPECT_EQ(id3["TITLE"], TagLib::StringList(tag)) << t.file;
        EXPECT_EQ(id3["ALBUM"], TagLib::StringList("Demos"));
        EXPECT_EQ(id3["FILEWEBPAGE"], TagLib::StringList(link));
        EXPECT_EQ(id3["ORVO_CLIP_ID"], TagLib::StringList(t.id));
        EXPECT_EQ(wav.ID3v2Tag()->header()->majorVersion(), 4u);

        // A reader that shares no code with TagLib. INFO lists name no
        // character set; ours are UTF-8.
        const auto [ok, out] = run({"exiftool", "-json", "-charset", "riff=utf8", "-Title",
                                    "-Product", "-Album", "-Comment", file.string()});
        ASSERT_TRUE(ok) << out;
        const nlohmann::json read = nlohmann::json::parse(out)[0];
        EXPECT_EQ(read.value("Title", ""), t.tag) << read.dump();
        EXPECT_EQ(read.value("Product", ""), "Demos") << read.dump();
        EXPECT_EQ(read.value("Album", ""), "Demos") << read.dump();
        EXPECT_EQ(read.value("Comment", ""), link) << read.dump();
    }

    // The record holds the files as tagged: a run that skips saved tracks
    // finds them all in place.
    manager->setSkipSaved(true);
    download();
    EXPECT_EQ(manager->current(), "Downloaded 0 files · 4 already saved.");
    expectSettled();
}
