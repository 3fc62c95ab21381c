#include "download/NoReplaceRename.hpp"

#include "support/TempDir.hpp"

#include <cerrno>
#include <fstream>
#include <gtest/gtest.h>

// Both ways of moving, the one every file system takes and the one for file
// systems without RENAME_NOREPLACE or hard links: a taken name is never
// replaced, and a free one is taken.
TEST(NoReplaceRenameTest, aTakenNameIsNeverReplaced) {
    for (const auto move : {&NoReplaceRename::move, &NoReplaceRename::claimThenMove}) {
        const TempDir temp;
        const auto from = temp / "part", taken = temp / "Song.wav", folder = temp / "Folder";
        std::ofstream(from) << "new";
        std::ofstream(taken) << "mine";
        std::filesystem::create_directory(folder);

        EXPECT_EQ(move(from.c_str(), taken.c_str()), EEXIST);
        EXPECT_EQ(move(from.c_str(), folder.c_str()), EEXIST);
        EXPECT_EQ(readFile(taken), "mine");
        EXPECT_EQ(move(from.c_str(), (temp / "missing" / "x").c_str()), ENOENT);
        EXPECT_EQ(move(from.c_str(), (temp / "Song (2).wav").c_str()), 0);
        EXPECT_EQ(namesIn(temp.path()),
                  (std::vector<std::string>{"Folder", "Song (2).wav", "Song.wav"}));
        EXPECT_EQ(readFile(temp / "Song (2).wav"), "new");
    }
}
