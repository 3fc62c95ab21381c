#include "manager/SavedTracks.hpp"

#include "download/ContentDigest.hpp"
#include "manager/PrivateFile.hpp"
#include "manager/WorkspaceFolder.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace {

using File = SavedTracks::File;
using Folders = SavedTracks::Folders;

class SavedTracksTest : public ::testing::Test {
  protected:
    TempDir temp;
    const std::filesystem::path record = temp / "data" / "saved-tracks.json";
    const std::filesystem::path music = temp / "Music";

    void remember(const std::filesystem::path& destination, const std::string& clip, File file) {
        SavedTracks saved(record, destination);
        saved.remember("Demos", clip, std::move(file));
        saved.save();
    }
};

} // namespace

TEST_F(SavedTracksTest, eachDestinationKeepsItsOwnRecordAndOneClipPerName) {
    remember(music, "a", {"Song.wav", 3, 1'000'000'001});
    remember(temp / "Elsewhere", "a", {"Other.wav", 5, 7});
    // The same folder spelled differently, and the same name in other case.
    remember(temp.path() / "Music/", "b", {"SONG.wav", 4, 9});

    EXPECT_EQ(SavedTracks(record, music / ".").folders(),
              (Folders{{"Demos", {{"b", {"SONG.wav", 4, 9}}}}}));
    EXPECT_EQ(SavedTracks(record, temp / "Elsewhere").folders(),
              (Folders{{"Demos", {{"a", {"Other.wav", 5, 7}}}}}));
}

TEST_F(SavedTracksTest, aDamagedRecordIsSetAsideAndEntriesThisAppDidNotWriteLeadNowhere) {
    std::set<std::filesystem::path> setAside;
    for (const char* text : {"{\"destinations\": [{\"folder\": ", "[]", "{\"destinations\": {}}"}) {
        ASSERT_TRUE(PrivateFile::write(record, text));
        SavedTracks saved(record, music);
        EXPECT_EQ(saved.read(), SavedTracks::Read::setAside) << text;
        EXPECT_TRUE(saved.badFile().filename().string().starts_with("saved-tracks.json.bad-"));
        setAside.insert(saved.badFile());
        EXPECT_FALSE(std::filesystem::exists(record));
        EXPECT_TRUE(saved.folders().empty());
    }
    // Each kept under a name of its own, none written over.
    EXPECT_EQ(setAside.size(), 3u);
    EXPECT_EQ(readFile(*setAside.begin()), "{\"destinations\": [{\"folder\": ");
    EXPECT_EQ(SavedTracks(record, music).read(), SavedTracks::Read::none);

    // A record that cannot be read is no damaged record: it stays, and the
    // reason goes to whoever started the reading.
    std::filesystem::create_directories(record);
    EXPECT_THROW(SavedTracks(record, music), RecordError);
    EXPECT_TRUE(std::filesystem::is_directory(record));
    std::filesystem::remove(record);

    // Sizes alone, as earlier versions kept them, still count.
    const std::string entries = R"([{"clip": "up", "folder": "..", "name": "x.wav", "size": 1},
        {"clip": "deep", "folder": "a/b", "name": "x.wav", "size": 1},
        {"clip": "empty", "folder": "Demos", "name": "", "size": 1},
        {"clip": "text", "folder": "Demos", "name": "x.wav", "size": "1"},
        {"clip": "huge", "folder": "Demos", "name": "x.wav", "size": 99999199999999999293},
        {"clip": "half", "folder": "Demos", "name": "x.wav", "size": 1.5},
        {"clip": "below", "folder": "Demos", "name": "x.wav", "size": -1},
        {"clip": "late", "folder": "Demos", "name": "x.wav", "size": 1, "modified": 9223372036854775808},
        {"clip": "when", "folder": "Demos", "name": "x.wav", "size": 1, "modified": 1e3},
        {"clip": "old", "folder": "Demos", "name": "y.wav", "size": 2},
        {"clip": "ok", "folder": "Demos", "name": "x.wav", "size": 1, "modified": 5}])";
    ASSERT_TRUE(
        PrivateFile::write(record, R"({"destinations": [{"folder": 7, "files": []}, {"folder": ")" +
                                       music.string() + R"(", "files": )" + entries + "}]}"));
    SavedTracks saved(record, music);
    EXPECT_EQ(saved.read(), SavedTracks::Read::read);
    EXPECT_EQ(saved.folders(),
              (Folders{{"Demos", {{"ok", {"x.wav", 1, 5}}, {"old", {"y.wav", 2, std::nullopt}}}}}));
    EXPECT_TRUE(saved.find("Demos", "old")->matches(FileStamp{2, 123}));
    EXPECT_FALSE(saved.find("Demos", "ok")->matches(FileStamp{1, 6}));
    // The first run that finds such a file still there takes its time.
    std::filesystem::create_directories(music / "Demos");
    std::ofstream(music / "Demos" / "y.wav") << "yy";
    WorkspaceFolder(music, "Demos", FileNames::NameRules::standard, saved).prepare({});
    EXPECT_EQ(saved.find("Demos", "old")->modified,
              FileStamp::of(music / "Demos" / "y.wav")->modified);
    EXPECT_EQ(saved.find("Demos", "ok"), nullptr); // its file is gone
    // What it could not use of another destination is kept as it was.
    saved.save();
    EXPECT_NE(readFile(record).find(R"({"files":[],"folder":7})"), std::string::npos);

    // The same checks hold in the form this version writes.
    ASSERT_TRUE(PrivateFile::write(record, R"({"destinations": [{"folder": ")" + music.string() +
                                               R"(", "folders": [{"name": "Demos", "files": [
        ["huge", "x.wav", 99999199999999999293, 1], ["half", "x.wav", 1.5, 1],
        ["late", "x.wav", 1, 9223372036854775808], ["when", "x.wav", 1, 1.0],
        ["ok", "x.wav", 1, -5]]}]}]})"));
    EXPECT_EQ(SavedTracks(record, music).folders(),
              (Folders{{"Demos", {{"ok", {"x.wav", 1, -5}}}}}));
}

TEST_F(SavedTracksTest, everyChangeIsInTheJournalAtOnceAndSurvivesACrash) {
    remember(music, "a", {"A.wav", 1, 1});
    {
        // Changes made, and the process gone before any save.
        SavedTracks saved(record, music);
        saved.remember("Demos", "b", {"B.wav", 2, 2});
        saved.forget("Demos", "a");
        saved.remember("Live", "c", {"C.wav", 3, std::nullopt});
        saved.sync();
    }
    // Another destination's run, cut short too, and a line cut in half.
    SavedTracks(record, temp / "Elsewhere").remember("Demos", "e", {"E.wav", 5, 5});
    std::ofstream(SavedTracks::journalFile(record), std::ios::app) << R"([{"folder":"/x"},"D)";
    const Folders expected{{"Demos", {{"b", {"B.wav", 2, 2}}}},
                           {"Live", {{"c", {"C.wav", 3, std::nullopt}}}}};
    {
        SavedTracks saved(record, music);
        EXPECT_EQ(saved.folders(), expected);
        // The next line after a torn one starts a line of its own.
        saved.remember("Demos", "d", {"D.wav", 4, 4});
    }
    EXPECT_EQ(SavedTracks(record, music).find("Demos", "d")->name, "D.wav");

    // Folded at the next start: every destination's changes in the record,
    // and no journal left.
    SavedTracks::recover(record);
    EXPECT_FALSE(std::filesystem::exists(SavedTracks::journalFile(record)));
    EXPECT_EQ(SavedTracks(record, temp / "Elsewhere").folders(),
              (Folders{{"Demos", {{"e", {"E.wav", 5, 5}}}}}));
    EXPECT_EQ(SavedTracks(record, music).find("Demos", "d")->name, "D.wav");

    // A journal that cannot be written says why, for the run to stop.
    SavedTracks saved(record, music);
    std::filesystem::create_symlink("/dev/full", SavedTracks::journalFile(record));
    try {
        saved.remember("Demos", "f", {"F.wav", 6, 6});
        ADD_FAILURE() << "no error";
    } catch (const RecordError& failure) {
        EXPECT_EQ(std::string(failure.what()),
                  "Could not record the saved files in " + record.parent_path().string() +
                      ": No space left on device. Stopped so that nothing is downloaded twice.");
    }
}

TEST_F(SavedTracksTest, anAnnouncedFileIsTheAppsOwnOnlyIfItIsTheFileAnnounced) {
    // A crash after the announcement of "Song.wav" and before its line in
    // the record; the file there then, and what the record says of it.
    const std::filesystem::path song = music / "Demos" / "Song.wav";
    struct Case {
        const char* what;
        std::optional<std::string> onDisk; // none: no file there
        bool earlier;                      // the clip had "Song.wav" before: a refresh
        bool ours;                         // the new file is taken for the app's own
    };
    for (const Case& c : std::initializer_list<Case>{
             {"the announced file took its name", "new!", false, true},
             {"the announced file replaced the earlier one", "new!", true, true},
             {"the crash came before the move", std::nullopt, false, false},
             {"the earlier file was not replaced yet", "old", true, false},
             {"someone else's file of the same size", "nope", false, false},
             {"someone else's file of another size", "other", false, false},
         }) {
        SCOPED_TRACE(c.what);
        std::filesystem::remove_all(temp / "data");
        std::filesystem::remove_all(music);
        std::filesystem::create_directories(song.parent_path());
        std::ofstream(song) << "old";
        const auto earlier = FileStamp::of(song);
        if (c.earlier)
            remember(music, "a", {"Song.wav", earlier->size, earlier->modified});
        std::ofstream(song) << "new!";
        const auto announced = ContentDigest::of(song);
        std::filesystem::remove(song);
        if (c.onDisk)
            std::ofstream(song) << *c.onDisk;
        SavedTracks(record, music).intend("Demos", "a", "Song.wav", 4, *announced);

        // Settled as the record is read: at the next start, or by a run.
        const SavedTracks saved(record, music);
        const auto stamp = FileStamp::of(song);
        const File* file = saved.find("Demos", "a");
        if (c.ours)
            EXPECT_EQ(file ? std::optional(*file) : std::nullopt,
                      (File{"Song.wav", stamp->size, stamp->modified}));
        else if (c.earlier)
            EXPECT_EQ(file ? std::optional(*file) : std::nullopt,
                      (File{"Song.wav", earlier->size, earlier->modified}));
        else
            EXPECT_FALSE(file);
        // A line remembering the file after its announcement settles it.
        SavedTracks(record, music).remember("Demos", "a", {"Song.wav", 9, 9});
        EXPECT_EQ(SavedTracks(record, music).find("Demos", "a")->size, 9u);
    }
}

TEST_F(SavedTracksTest, aDestinationIsFoundByItsDiskUnderWhateverPathItIsMounted) {
    const DiskPlace stick{"uuid:AB-12", "/Music"};
    {
        SavedTracks saved(record, "/media/me/STICK/Music", stick);
        saved.remember("Demos", "a", {"A.wav", 1, 1});
        saved.save();
    }
    // The same stick under another path.
    SavedTracks again(record, "/media/me/STICK1/Music", stick);
    EXPECT_FALSE(again.onOtherDisk());
    EXPECT_EQ(again.find("Demos", "a")->name, "A.wav");
    // The old path, now on another disk (the mount point left empty).
    const SavedTracks empty(record, "/media/me/STICK/Music",
                            DiskPlace{"fsid:99", "/media/me/STICK/Music"});
    EXPECT_TRUE(empty.onOtherDisk());
    EXPECT_TRUE(empty.folders().empty());
    // Where the disk cannot be told, the path is all there is.
    EXPECT_EQ(SavedTracks(record, "/media/me/STICK/Music").find("Demos", "a")->name, "A.wav");
}

TEST_F(SavedTracksTest, aFoldersDiskIsReadFromTheMountTable) {
    // A mount table naming the test folder's own device, as a real one would.
    struct stat status {};
    ASSERT_EQ(stat(temp.path().c_str(), &status), 0);
    const std::string device =
        std::to_string(major(status.st_dev)) + ":" + std::to_string(minor(status.st_dev));
    const std::string real = std::filesystem::canonical(temp.path()).string();
    std::filesystem::create_directories(temp / "by-uuid");
    std::filesystem::create_symlink("/dev/null", temp / "by-uuid" / "AB-12");
    std::filesystem::create_directories(temp / "my music");
    const auto table = temp / "mountinfo";
    const auto placeOf = [&](const std::string& lines) {
        std::ofstream(table) << lines;
        return DiskPlace::of(temp / "my music", table, temp / "by-uuid");
    };
    const std::string escaped = std::regex_replace(real, std::regex(" "), "\\040");
    // The longest mount point that holds the folder; a bind mount's root.
    EXPECT_EQ(placeOf("1 0 " + device + " / / rw - ext4 /dev/sda1 rw\n" + "2 1 " + device +
                      " /inner " + escaped + " rw shared:1 - ext4 /dev/null rw\n"),
              (DiskPlace{"uuid:AB-12", "/inner/my music"}));
    // No UUID: the file system id, whatever it is here.
    const auto byId = placeOf("1 0 " + device + " / / rw - ext4 /dev/sda1 rw\n");
    if (byId) {
        EXPECT_TRUE(byId->disk.starts_with("fsid:"));
        EXPECT_EQ(byId->inside, real + "/my music");
    }
    // Another device's mounts are not this folder's.
    EXPECT_EQ(placeOf("1 0 0:999 / / rw - ext4 /dev/null rw\n"), std::nullopt);
}
