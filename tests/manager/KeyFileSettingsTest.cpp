#include "manager/KeyFileSettings.hpp"

#include "manager/AppFolders.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace {
mode_t modeOf(const std::filesystem::path& path) {
    struct stat info {};
    EXPECT_EQ(stat(path.c_str(), &info), 0) << path;
    return info.st_mode & 0777;
}
} // namespace

TEST(KeyFileSettingsTest, valuesOutliveTheStoreInAPrivateFile) {
    TempDir temp;
    const auto file = temp / "OrvoWavDownloader" / "settings.ini";
    {
        KeyFileSettings settings(file);
        EXPECT_FALSE(settings.string("destFolder"));
        EXPECT_FALSE(settings.boolean("agreedToTermsV1"));
        settings.set("destFolder", "/home/me/Music/Orvo = \"mine\"\n");
        settings.setBoolean("agreedToTermsV1", true);
    }
    EXPECT_EQ(modeOf(file), 0600u);
    EXPECT_EQ(modeOf(file.parent_path()), 0700u);

    KeyFileSettings reopened(file);
    EXPECT_EQ(reopened.string("destFolder"), "/home/me/Music/Orvo = \"mine\"\n");
    EXPECT_TRUE(reopened.boolean("agreedToTermsV1"));
    reopened.set("destFolder", std::nullopt);
    EXPECT_FALSE(KeyFileSettings(file).string("destFolder"));
    EXPECT_TRUE(KeyFileSettings(file).boolean("agreedToTermsV1"));
}

TEST(KeyFileSettingsTest, damagedFileReadsAsEmptyAndIsReplacedOnTheNextChange) {
    TempDir temp;
    const auto file = temp / "settings.ini";
    std::ofstream(file) << "this is [not a key file\n\x01\x02";
    KeyFileSettings settings(file);
    EXPECT_FALSE(settings.string("destFolder"));
    settings.set("destFolder", "/x");
    EXPECT_EQ(KeyFileSettings(file).string("destFolder"), "/x");
}

TEST(KeyFileSettingsTest, appFoldersFollowTheXdgFolders) {
    const AppFolders folders = AppFolders::fromEnvironment();
    EXPECT_EQ(folders.settingsFile(),
              std::filesystem::path(getenv("XDG_CONFIG_HOME")) / "OrvoWavDownloader/settings.ini");
    EXPECT_EQ(folders.libraryFile(),
              std::filesystem::path(getenv("XDG_DATA_HOME")) / "OrvoWavDownloader/library.json");
}
