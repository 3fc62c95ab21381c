#include "manager/SavedTracks.hpp"

#include "manager/PrivateFile.hpp"
#include "manager/WorkspaceFolder.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>

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
        ASSERT_TRUE(saved.save());
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
    for (const char* text : {"{\"destinations\": [{\"folder\": ", "[]", "{\"destinations\": {}}"}) {
        ASSERT_TRUE(PrivateFile::write(record, text));
        SavedTracks saved(record, music);
        EXPECT_EQ(saved.read(), SavedTracks::Read::setAside) << text;
        EXPECT_EQ(readFile(saved.badFile()), text);
        EXPECT_FALSE(std::filesystem::exists(record));
        EXPECT_TRUE(saved.folders().empty());
    }
    EXPECT_EQ(SavedTracks(record, music).read(), SavedTracks::Read::none);

    // Sizes alone, as earlier versions kept them, still count.
    const std::string entries = R"([{"clip": "up", "folder": "..", "name": "x.wav", "size": 1},
        {"clip": "deep", "folder": "a/b", "name": "x.wav", "size": 1},
        {"clip": "empty", "folder": "Demos", "name": "", "size": 1},
        {"clip": "text", "folder": "Demos", "name": "x.wav", "size": "1"},
        {"clip": "old", "folder": "Demos", "name": "y.wav", "size": 2},
        {"clip": "ok", "folder": "Demos", "name": "x.wav", "size": 1, "modified": 5}])";
    ASSERT_TRUE(PrivateFile::write(
        record, R"({"destinations": [{"folder": 7, "files": []}, {"folder": ")" + music.string() +
                    R"(", "files": )" + entries + "}]}"));
    SavedTracks saved(record, music);
    EXPECT_EQ(saved.read(), SavedTracks::Read::read);
    EXPECT_EQ(saved.folders(), (Folders{{"Demos",
                                         {{"ok", {"x.wav", 1, 5}},
                                          {"old", {"y.wav", 2, std::nullopt}}}}}));
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
    ASSERT_TRUE(saved.save());
    EXPECT_NE(readFile(record).find(R"({"files":[],"folder":7})"), std::string::npos);
}
