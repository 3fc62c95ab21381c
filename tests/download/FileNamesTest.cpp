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

TEST(FileNamesTest, forbiddenCharactersEachBecomeAnUnderscore) {
    EXPECT_EQ(sanitize("AC/DC"), "AC_DC");
    EXPECT_EQ(sanitize("a//b"), "a__b");
    EXPECT_EQ(sanitize("???"), "___");
    EXPECT_EQ(sanitize("1\\2:3*4?5\"6<7>8|9"), "1_2_3_4_5_6_7_8_9");
    EXPECT_EQ(sanitize(std::string("nul\0here", 8)), "nul_here");
    // Everything else stays, leading dots and control characters included.
    EXPECT_EQ(sanitize(".hidden\x01 é"), ".hidden\x01 é");
}

TEST(FileNamesTest, whiteSpaceIsTrimmedAndNothingLeftIsUntitled) {
    EXPECT_EQ(sanitize("   "), "untitled");
    EXPECT_EQ(sanitize(""), "untitled");
    EXPECT_EQ(sanitize("\t\n Song \u00a0\u2028\u3000"), "Song");
    EXPECT_EQ(sanitize("  two  words "), "two  words");
}

TEST(FileNamesTest, dotNamesNeverAddressAFolderItself) {
    EXPECT_EQ(sanitize("."), "_");
    EXPECT_EQ(sanitize(" .. "), "__");
    EXPECT_EQ(sanitize("..."), "...");
    EXPECT_EQ(availableName("..", UsedNames()), "__.wav");
}

TEST(FileNamesTest, longNamesAreCutAtOneHundredFiftyCharacters) {
    EXPECT_EQ(sanitize(repeat("a", 200)), repeat("a", 150));
    EXPECT_EQ(sanitize(repeat("a", 150)), repeat("a", 150));
    // Trimmed before the cut; a space that ends up last stays.
    EXPECT_EQ(sanitize("  " + repeat("a", 149) + " b"), repeat("a", 149) + " ");
    // A letter with its combining mark, counts once.
    const std::string accented = "e\u0301";
    EXPECT_EQ(sanitize(repeat("a", 140) + repeat(accented, 11)),
              repeat("a", 140) + repeat(accented, 10));
}

TEST(FileNamesTest, namesStayWithinTwoHundredFiftyFiveBytesWithoutSplittingACharacter) {
    const std::string wide = "\u6f22"; // three bytes
    EXPECT_EQ(sanitize(repeat(wide, 150)), repeat(wide, 85));
    const std::string family = "\U0001F468\u200D\U0001F469\u200D\U0001F467"; // 18 bytes
    EXPECT_EQ(sanitize(repeat(family, 20)).size(), 14u * 18u);

    const UsedNames none;
    EXPECT_EQ(availableName(repeat(wide, 150), none), repeat(wide, 83) + ".wav");
    UsedNames used;
    used.insert(repeat(wide, 83) + ".wav");
    EXPECT_EQ(availableName(repeat(wide, 150), used), repeat(wide, 82) + " (2).wav");
    for (const std::string& name :
         {availableName(repeat("x", 300), used), availableName(repeat(family, 40), used)})
        EXPECT_LE(name.size(), 255u) << name;

    // A single character longer than a name can hold is cut between code
    // points rather than lost.
    const std::string heavy = "a" + repeat("\u0301", 200);
    const std::string cut = sanitize(heavy);
    EXPECT_GT(cut.size(), 200u);
    EXPECT_LE(cut.size(), 255u);
    EXPECT_EQ(cut.size() % 2, 1u); // "a" plus whole two-byte marks
}

TEST(FileNamesTest, takenNamesGetTheNextNumber) {
    UsedNames used;
    EXPECT_EQ(availableName("Song", used), "Song.wav");
    used.insert("Song.wav");
    EXPECT_EQ(availableName("Song", used), "Song (2).wav");
    used.insert("Song (2).wav");
    EXPECT_EQ(availableName(" Song ", used), "Song (3).wav");
    EXPECT_EQ(availableName("AC/DC", used), "AC_DC.wav");
}

TEST(FileNamesTest, namesDifferingOnlyInCaseAreTheSameName) {
    UsedNames used;
    used.insert("Night Drive.wav");
    EXPECT_TRUE(used.contains("NIGHT DRIVE.WAV"));
    EXPECT_EQ(availableName("night drive", used), "night drive (2).wav");
    used.insert("Caf\u00e9.wav");
    EXPECT_TRUE(used.contains("CAFE\u0301.wav"));
}

TEST(FileNamesTest, invalidTextIsRepairedNotPassedThrough) {
    const std::string name = sanitize("bad\xff\xfe");
    EXPECT_TRUE(g_utf8_validate(name.data(), gssize(name.size()), nullptr));
    EXPECT_EQ(name.rfind("bad", 0), 0u);
}
