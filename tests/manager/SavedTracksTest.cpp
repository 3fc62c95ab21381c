#include "manager/SavedTracks.hpp"

#include "manager/PrivateFile.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>

namespace {

using File = SavedTracks::File;

class SavedTracksTest : public ::testing::Test {
  protected:
    TempDir temp;
    const std::filesystem::path record = temp / "data" / "saved-tracks.json";
    const std::filesystem::path music = temp / "Music";

    // A file of this many bytes in the destination.
    void put(const std::string& folder, const std::string& name, std::size_t size) {
        std::filesystem::create_directories(music / folder);
        std::ofstream(music / folder / name) << std::string(size, 'x');
    }
};

} // namespace

TEST_F(SavedTracksTest, eachDestinationKeepsItsOwnRecordAndOneClipPerName) {
    SavedTracks(record, music).remember("a", {"Demos", "Song.wav", 3});
    SavedTracks(record, temp / "Elsewhere").remember("a", {"Demos", "Other.wav", 5});
    // The same folder spelled differently, and the same name in other case.
    SavedTracks(record, temp.path() / "Music/").remember("b", {"Demos", "SONG.wav", 4});

    EXPECT_EQ(SavedTracks(record, music / ".").files(),
              (std::map<std::string, File>{{"b", {"Demos", "SONG.wav", 4}}}));
    EXPECT_EQ(SavedTracks(record, temp / "Elsewhere").files(),
              (std::map<std::string, File>{{"a", {"Demos", "Other.wav", 5}}}));
}

TEST_F(SavedTracksTest, onlyFilesAsTheyWereSavedAreInPlace) {
    SavedTracks saved(record, music);
    saved.remember("kept", {"Demos", "Kept.wav", 3});
    saved.remember("moved", {"Old name", "Moved.wav", 3});
    saved.remember("other", {"Demos", "Not in this run.wav", 3});
    saved.remember("gone", {"Demos", "Gone.wav", 3});
    put("Demos", "Kept.wav", 3);
    put("Old name", "Moved.wav", 3);
    put("Demos", "Not in this run.wav", 9);
    std::filesystem::create_directories(music / "Demos" / "Gone.wav"); // not a file

    const SavedTracks::Keep keep =
        SavedTracks(record, music)
            .keep({{"kept", "Demos"}, {"moved", "Demos"}, {"gone", "Demos"}, {"new", "Demos"}});
    EXPECT_EQ(keep.inPlace, std::set<std::string>{"kept"});
    // What is fetched again may take its name back; any other file is kept.
    EXPECT_EQ(keep.reserved, (std::map<std::string, std::vector<std::string>>{
                                 {"demos", {"Kept.wav", "Not in this run.wav"}}}));
}

TEST_F(SavedTracksTest, recordsThisAppDidNotWriteLeadNowhere) {
    for (const char* text : {"{\"destinations\": [{\"folder\": ", "[]", "{\"destinations\": {}}",
                             "{\"destinations\": [{\"folder\": 7, \"files\": []}]}"}) {
        ASSERT_TRUE(PrivateFile::write(record, text));
        EXPECT_TRUE(SavedTracks(record, music).files().empty()) << text;
    }
    const std::string entries = R"([{"clip": "up", "folder": "..", "name": "x.wav", "size": 1},
        {"clip": "deep", "folder": "a/b", "name": "x.wav", "size": 1},
        {"clip": "empty", "folder": "Demos", "name": "", "size": 1},
        {"clip": "text", "folder": "Demos", "name": "x.wav", "size": "1"},
        {"clip": "ok", "folder": "Demos", "name": "x.wav", "size": 1}])";
    ASSERT_TRUE(PrivateFile::write(record, R"({"destinations": [{"folder": ")" + music.string() +
                                               R"(", "files": )" + entries + "}]}"));
    EXPECT_EQ(SavedTracks(record, music).files(),
              (std::map<std::string, File>{{"ok", {"Demos", "x.wav", 1}}}));
}
