#include "manager/Fakes.hpp"
#include "manager/KeyFileSettings.hpp"
#include "manager/PrivateFile.hpp"
#include "model/LibrarySnapshot.hpp"
#include "support/TempDir.hpp"

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {

using Property = DownloadManager::Property;

mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}

class DownloadManagerTest : public ::testing::Test {
  protected:
    TempDir temp;
    ManagerRig rig{temp / "data"};
};

} // namespace

TEST_F(DownloadManagerTest, destinationFolderIsStoredRestoredAndAnnounced) {
    EXPECT_FALSE(rig->destFolder());
    rig->setDestFolder(temp / "Music");
    EXPECT_EQ(rig.settings.values.at("destFolder"), (temp / "Music").string());

    rig.relaunch();
    EXPECT_EQ(rig->destFolder(), temp / "Music");
    EXPECT_EQ(rig.settings.values.at("destFolder"), (temp / "Music").string());

    rig->setDestFolder(std::nullopt);
    EXPECT_FALSE(rig.settings.values.contains("destFolder"));
    // An empty path would put the folders wherever the app was started.
    rig.settings.values["destFolder"] = "";
    rig.relaunch();
    EXPECT_FALSE(rig->destFolder());

    rig->setLikedOnly(false);
    rig->select("w1", true);
    rig->select("w1", true); // no change, no notice
    rig->setRecentCount(35);
    rig->setPrepareUpcoming(true);
    rig->setSkipSaved(true);
    rig->setSkipSaved(true);
    EXPECT_EQ(rig.changes,
              (std::vector<Property>{Property::likedOnly, Property::selected, Property::recentCount,
                                     Property::prepareUpcoming, Property::skipSaved}));
    EXPECT_EQ(rig.settings.values.at("prepareUpcomingTracks"), "true");
    EXPECT_EQ(rig.settings.values.at("skipSavedTracks"), "true");
}

TEST_F(DownloadManagerTest, savedLibraryIsRestoredOnlyIntoAnEmptyManager) {
    rig->loadCache(); // no file yet: nothing happens
    for (const char* damaged : {"{\"workspaces\":[]}", "{\"workspaces\": [{\"id\": "}) {
        PrivateFile::write(rig->cacheURL(), damaged);
        rig->loadCache();
    }
    EXPECT_TRUE(rig.changes.empty());

    rig.library({{"b", "B", {{"1", "One", true}}}, {"a", "A", {{"2", "Two", false}}}});
    const auto saved = rig->workspaces();
    const auto scannedAt = rig->lastScanned();
    EXPECT_EQ(modeOf(rig->cacheURL()), 0600u);
    EXPECT_EQ(modeOf(rig->cacheURL().parent_path()), 0700u);
    EXPECT_EQ(namesIn(rig->cacheURL().parent_path()), std::vector<std::string>{"library.json"});

    rig.relaunch();
    rig->setSelected({"gone"});
    rig->loadCache();
    EXPECT_EQ(rig->workspaces(), saved);
    EXPECT_EQ(rig->lastScanned(), scannedAt);
    EXPECT_EQ(rig->lastScope(), "full");
    EXPECT_EQ(rig->scanStatus(), "Showing your most recent scan (2 workspaces).");
    EXPECT_EQ(rig->selected(), std::set<std::string>{"gone"});
    EXPECT_EQ(rig->queuedTrackCount(), 0);

    // A library already held is never replaced by the file.
    PrivateFile::write(rig->cacheURL(), LibrarySnapshot{{{"x", "X", {}}}, {}, {}}.encode());
    rig->loadCache();
    EXPECT_EQ(rig->workspaces(), saved);
}

TEST(PrivateFileTest, leftoversOfAWriteCutShortAreRemovedAndNothingElse) {
    TempDir temp;
    const auto file = temp / "library.json";
    const std::vector<std::string> leftovers{"library.json.a1B2c3", "library.json.XXXXXX"};
    const std::vector<std::string> others{"library.json",          "library.json.a1B2c",
                                          "library.json.a1B2c3d",  "library.json.a1-2c3",
                                          "library.json.bad-2026", "music.json.a1B2c3",
                                          "xlibrary.json.a1B2c3"};
    for (const auto& names : {leftovers, others})
        for (const std::string& name : names)
            std::ofstream(temp / name) << "x";
    std::filesystem::create_directory(temp / "library.json.folder");
    PrivateFile::removeLeftovers(file);
    std::vector<std::string> kept = others;
    kept.push_back("library.json.folder");
    std::ranges::sort(kept);
    EXPECT_EQ(namesIn(temp.path()), kept);
}

TEST(KeyFileSettingsTest, valuesOutliveTheStoreInAPrivateFileSharedByEveryStoreOnIt) {
    TempDir temp;
    const auto file = temp / "OrvoWavDownloader" / "settings.ini";
    std::filesystem::create_directories(file.parent_path());
    std::ofstream(file) << "not [a key file\n\x01";
    {
        KeyFileSettings settings(file); // a damaged file reads as empty
        EXPECT_FALSE(settings.string("destFolder"));
        settings.set("destFolder", "/home/me/Música = \"mine\"\n");
        settings.setBoolean("agreedToTermsV1", true);
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);
    KeyFileSettings reopened(file);
    EXPECT_EQ(reopened.string("destFolder"), "/home/me/Música = \"mine\"\n");
    EXPECT_TRUE(reopened.boolean("agreedToTermsV1"));
    reopened.set("destFolder", std::nullopt);
    EXPECT_FALSE(KeyFileSettings(file).string("destFolder"));
    EXPECT_TRUE(KeyFileSettings(file).boolean("agreedToTermsV1"));

    // Two stores on one file keep each other's writes.
    std::filesystem::remove(file);
    KeyFileSettings folderOwner(file);
    KeyFileSettings agreementOwner(file);
    folderOwner.set("destFolder", "/home/me/Music");
    agreementOwner.setBoolean("agreedToTermsV1", true);
    folderOwner.set("destFolder", "/home/me/Exports");
    EXPECT_TRUE(folderOwner.boolean("agreedToTermsV1"));
    EXPECT_EQ(agreementOwner.string("destFolder"), "/home/me/Exports");
    EXPECT_EQ(KeyFileSettings(file).string("destFolder"), "/home/me/Exports");
    EXPECT_TRUE(KeyFileSettings(file).boolean("agreedToTermsV1"));

    // Where nothing can be written, the store still holds its own values.
    std::ofstream(temp / "not a folder") << "x";
    KeyFileSettings unwritable(temp / "not a folder" / "settings.ini");
    unwritable.setBoolean("agreedToTermsV1", true);
    EXPECT_TRUE(unwritable.boolean("agreedToTermsV1"));
}
