#include "manager/Fakes.hpp"
#include "manager/PrivateFile.hpp"
#include "model/LibrarySnapshot.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Property = DownloadManager::Property;

Workspace workspace(std::string id, int clips, int liked) {
    Workspace result{id, "Name " + id, {}};
    for (int i = 0; i < clips; ++i)
        result.clips.push_back(WClip{id + "-" + std::to_string(i), "Track", i < liked});
    return result;
}

FeedPage lastPage(std::vector<RawClip> clips) {
    return FeedPage{std::move(clips), {}, false};
}

RawClip clipIn(std::string project, std::string id) {
    return RawClip{std::move(id), "Title", true, project, "Project " + project};
}

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

class DownloadManagerTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};

    // Fills the library the way the app does: through a completed scan.
    void scanLibrary(std::vector<RawClip> clips) {
        rig.service.pages.push_back(lastPage(std::move(clips)));
        rig.clock.run(rig->scan(ScanScope::full()));
    }
};

} // namespace

TEST_F(DownloadManagerTest, freshManagerStartsFromItsDefaults) {
    EXPECT_TRUE(rig->workspaces().empty());
    EXPECT_TRUE(rig->failures().empty());
    EXPECT_TRUE(rig->selected().empty());
    EXPECT_TRUE(rig->likedOnly());
    EXPECT_EQ(rig->recentCount(), 20);
    EXPECT_FALSE(rig->destFolder());
    EXPECT_FALSE(rig->lastScanned());
    EXPECT_FALSE(rig->lastScope());
    EXPECT_FALSE(rig->scanning());
    EXPECT_FALSE(rig->running());
    EXPECT_EQ(rig->scanStatus(), "");
    EXPECT_EQ(rig->overall(), "");
    EXPECT_EQ(rig->current(), "");
    EXPECT_EQ(rig->fraction(), 0.0);
    EXPECT_TRUE(rig->log().empty());
    EXPECT_EQ(rig->queuedTrackCount(), 0);
    // Making a manager reads nothing and calls nothing.
    EXPECT_TRUE(rig.service.calls.empty());
    EXPECT_FALSE(std::filesystem::exists(rig->cacheURL()));
}

TEST_F(DownloadManagerTest, destinationFolderIsStoredAndRestored) {
    rig->setDestFolder(temp / "Music");
    EXPECT_EQ(rig.settings.values.at("destFolder"), (temp / "Music").string());

    rig.make();
    EXPECT_EQ(rig->destFolder(), temp / "Music");
    EXPECT_EQ(rig.settings.values.at("destFolder"), (temp / "Music").string());

    // A folder that is gone is restored all the same.
    rig.settings.values["destFolder"] = "/no/such/folder";
    rig.make();
    EXPECT_EQ(rig->destFolder(), std::filesystem::path("/no/such/folder"));

    rig->setDestFolder(std::nullopt);
    EXPECT_FALSE(rig.settings.values.contains("destFolder"));
    EXPECT_FALSE(rig->destFolder());
}

TEST_F(DownloadManagerTest, emptyDestinationPathCountsAsNone) {
    rig.settings.values["destFolder"] = "";
    rig.make();
    EXPECT_FALSE(rig->destFolder());
    rig->setDestFolder(std::filesystem::path());
    EXPECT_FALSE(rig->destFolder());
    EXPECT_FALSE(rig.settings.values.contains("destFolder"));
}

TEST_F(DownloadManagerTest, viewsAreToldWhichPropertyChanged) {
    rig->setLikedOnly(false);
    rig->setRecentCount(35);
    rig->select("w1", true);
    rig->select("w1", true); // already selected: no change
    rig->setSelected({"w1"});
    rig->select("w1", false);
    rig->setDestFolder(temp.path());
    EXPECT_EQ(rig.changes,
              (std::vector<Property>{Property::likedOnly, Property::recentCount, Property::selected,
                                     Property::selected, Property::destFolder}));
    EXPECT_FALSE(rig->likedOnly());
    EXPECT_EQ(rig->recentCount(), 35);
    EXPECT_TRUE(rig->selected().empty());
}

TEST_F(DownloadManagerTest, savedLibraryIsRestoredOnTheNextLaunch) {
    scanLibrary({clipIn("b", "1"), clipIn("a", "2"), clipIn("b", "3")});
    const auto saved = rig->workspaces();
    const auto scannedAt = rig->lastScanned();
    ASSERT_TRUE(scannedAt);

    rig.make();
    rig->setSelected({"gone"});
    rig->loadCache();
    EXPECT_EQ(rig->workspaces(), saved);
    EXPECT_EQ(rig->lastScanned(), scannedAt);
    EXPECT_EQ(rig->lastScope(), "full");
    EXPECT_EQ(rig->scanStatus(), "Showing your most recent scan (2 workspaces).");
    EXPECT_EQ(rig->selected(), (std::set<std::string>{"gone"}));
}

TEST_F(DownloadManagerTest, heldLibraryIsNeverReplacedByTheFile) {
    scanLibrary({clipIn("a", "1")});
    PrivateFile::write(rig->cacheURL(),
                       LibrarySnapshot{{workspace("other", 1, 1)}, {}, "x"}.encode());
    const std::string status = rig->scanStatus();
    rig->loadCache();
    EXPECT_EQ(rig->workspaces().at(0).id, "a");
    EXPECT_EQ(rig->scanStatus(), status);
}

TEST_F(DownloadManagerTest, missingOrDamagedLibraryFileChangesNothing) {
    rig->loadCache();
    for (const char* text : {"", "{", "{\"workspaces\":[]}", "[1,2]"}) {
        PrivateFile::write(rig->cacheURL(), text);
        rig->loadCache();
    }
    EXPECT_TRUE(rig->workspaces().empty());
    EXPECT_FALSE(rig->lastScanned());
    EXPECT_EQ(rig->scanStatus(), "");
    EXPECT_TRUE(rig.changes.empty());
}

TEST_F(DownloadManagerTest, libraryFileIsPrivateAndReplacedWhole) {
    scanLibrary({clipIn("a", "1")});
    scanLibrary({clipIn("b", "2")});
    EXPECT_EQ(modeOf(rig->cacheURL()), 0600u);
    EXPECT_EQ(modeOf(rig->cacheURL().parent_path()), 0700u);
    // Only the file itself: no temporary file left beside it.
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(rig->cacheURL().parent_path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"library.json"});
    auto snapshot = LibrarySnapshot::decode(*PrivateFile::read(rig->cacheURL()));
    EXPECT_EQ(snapshot.workspaces.at(0).id, "b");
}

TEST_F(DownloadManagerTest, queuedTrackCountFollowsSelectionAndLikedOnly) {
    // Two workspaces of 5 and 3 clips, 2 and 1 of them liked, and one more.
    std::vector<RawClip> clips;
    const std::vector<std::tuple<std::string, int, int>> shape{
        {"a", 5, 2}, {"b", 3, 1}, {"c", 4, 4}};
    for (const auto& [project, total, liked] : shape)
        for (int i = 0; i < total; ++i)
            clips.push_back(RawClip{project + std::to_string(i), "T", i < liked, project, project});
    scanLibrary(clips);
    EXPECT_EQ(rig->queuedTrackCount(), 0);
    rig->setSelected({"a", "b", "nothing"});
    EXPECT_EQ(rig->queuedTrackCount(), 3);
    rig->setLikedOnly(false);
    EXPECT_EQ(rig->queuedTrackCount(), 8);
}

TEST_F(DownloadManagerTest, cancelWhileIdleHasNoLastingEffect) {
    scanLibrary({clipIn("a", "1")});
    rig->setSelected({"a"});
    rig->setDestFolder(temp / "out");
    rig.changes.clear();
    rig->cancel();
    EXPECT_TRUE(rig.changes.empty());

    rig.clock.run(rig->start());
    EXPECT_EQ(rig->overall(), "Complete");
    EXPECT_EQ(rig->current(), "Downloaded 1 file.");
}
