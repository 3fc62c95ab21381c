#include "download/FileNames.hpp"

#include <glib.h>
#include <gtest/gtest.h>

using FileNames::availableName;
using FileNames::sanitize;
using FileNames::UsedNames;

namespace {
std::string repeat(std::string_view piece, std::size_t times) {
    std::string text;
    for (std::size_t i = 0; i < times; ++i)
        text += piece;
    return text;
}
} // namespace

TEST(FileNamesTest, unsafeCharactersSpaceAndDotNamesAreReplaced) {
    EXPECT_EQ(sanitize("AC/DC"), "AC_DC");
    EXPECT_EQ(sanitize("a//b"), "a__b");
    EXPECT_EQ(sanitize("1\\2:3*4?5\"6<7>8|9"), "1_2_3_4_5_6_7_8_9");
    EXPECT_EQ(sanitize(std::string("nul\0here", 8)), "nul_here");
    EXPECT_EQ(sanitize("\t\n Song \u00a0\u2028\u3000"), "Song");
    EXPECT_EQ(sanitize("   "), "untitled");
    EXPECT_EQ(sanitize(".hidden\x01"), ".hidden\x01"); // everything else stays
    EXPECT_EQ(sanitize(" .. "), "__");
    EXPECT_EQ(sanitize("."), "_");
    EXPECT_EQ(sanitize("..."), "...");
    const std::string repaired = sanitize("bad\xff");
    EXPECT_TRUE(g_utf8_validate(repaired.data(), gssize(repaired.size()), nullptr));
}

TEST(FileNamesTest, namesAreCutToOneHundredFiftyCharactersAndTwoHundredFiftyFiveBytes) {
    EXPECT_EQ(sanitize(repeat("a", 200)), repeat("a", 150));
    // Trimmed before the cut; a space that ends up last stays.
    EXPECT_EQ(sanitize("  " + repeat("a", 149) + " b"), repeat("a", 149) + " ");
    // A letter with its combining mark is one character.
    EXPECT_EQ(sanitize(repeat("a", 140) + repeat("e\u0301", 11)),
              repeat("a", 140) + repeat("e\u0301", 10));

    const std::string wide = "\u6f22"; // three bytes
    EXPECT_EQ(sanitize(repeat(wide, 150)), repeat(wide, 85));
    UsedNames used;
    EXPECT_EQ(availableName(repeat(wide, 150), used), repeat(wide, 83) + ".wav");
    used.insert(repeat(wide, 83) + ".wav");
    EXPECT_EQ(availableName(repeat(wide, 150), used), repeat(wide, 82) + " (2).wav");
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467"; // 18 bytes
    EXPECT_EQ(sanitize(repeat(family, 20)), repeat(family, 14));
    // One character longer than a name can hold is cut between code points.
    const std::string cut = sanitize("a" + repeat("\u0301", 200));
    EXPECT_EQ(cut, "a" + repeat("\u0301", 127));
}

TEST(FileNamesTest, takenNamesGetTheNextNumberWhateverTheirCase) {
    UsedNames used;
    EXPECT_EQ(availableName("Song", used), "Song.wav");
    used.insert("Song.wav");
    EXPECT_EQ(availableName(" Song ", used), "Song (2).wav");
    used.insert("Song (2).wav");
    EXPECT_EQ(availableName("SONG", used), "SONG (3).wav");
    used.insert("Caf\u00e9.wav");
    EXPECT_TRUE(used.contains("CAFE\u0301.wav"));
    EXPECT_EQ(availableName("..", used), "__.wav");
}

TEST(FileNamesTest, namesForFatExfatAndNtfsDisks) {
    const auto windows = FileNames::NameRules::windows;
    const std::vector<std::pair<std::string, std::string>> cases{
        {"Tab\there\x01" "and\x7f" "del", "Tab_here_and_del"},
        {"Time: 12:30?", "Time_ 12_30_"},
        {"Demo.", "Demo"},
        {"Ends . . . ", "Ends"},
        {"...", "untitled"},
        {"CON", "CON_"},
        {"con.backup", "con_.backup"},
        {"Lpt9", "Lpt9_"},
        {"COM0", "COM0"},
        {"Concert", "Concert"},
        {std::string(149, 'a') + ".b", std::string(149, 'a')}, // no dot left last after the cut
    };
    for (const auto& [title, name] : cases)
        EXPECT_EQ(sanitize(title, windows), name) << title;
    UsedNames used;
    EXPECT_EQ(availableName("nul", used, windows), "nul_.wav");
    EXPECT_EQ(availableName("nul", used), "nul.wav"); // other disks take it as it is
    EXPECT_EQ(FileNames::nameRulesFor("/proc"), FileNames::NameRules::standard);
}
