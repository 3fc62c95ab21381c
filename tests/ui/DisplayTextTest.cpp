#include "ui/DateText.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"

#include <gtest/gtest.h>

namespace {

TEST(DisplayTextTest, controlAndDirectionCharactersAreShownNotObeyed) {
    using namespace std::string_literals;
    const std::string shalom = "\u05e9\u05dc\u05d5\u05dd";
    // composed, when given, is what a line the app composed shows; by default
    // the line itself, marked left to right.
    const struct {
        std::string stored, line, composed;
    } cases[] = {
        {"Plain title", "Plain title"},
        {"Caf\u00e9 " + shalom, "Caf\u00e9 " + shalom},
        {"A\0B"s, "A\u2400B"},
        {"two\nlines\r", "two\u240alines\u240d"},
        {"tab\there", "tab\u2409here"},
        {"evil\u202Egnp.exe", "evil\uFFFDgnp.exe"},
        {"iso\u2066late\u2069", "iso\uFFFDlate\uFFFD"},
        {"sep\u2028arated", "sep\uFFFDarated"},
        {"bad \xff\xfe bytes", "bad \uFFFD\uFFFD bytes"},
        {"del\x7f", "del\u2421"},
        // Four combining marks on one letter are kept, the fifth and on dropped.
        {"Z\u0301\u0302\u0303\u0304\u0305\u0306a\u0301", "Z\u0301\u0302\u0303\u0304a\u0301"},
        // A composed line keeps the isolates around its names, and only those.
        {"Saved: \u2068" + shalom + "\u2069 (retry 1)",
         "Saved: \uFFFD" + shalom + "\uFFFD (retry 1)",
         "\u200ESaved: \u2068" + shalom + "\u2069 (retry 1)"},
        {"\u2068A\u2069 \u2014 \u2068B\u2069", "\uFFFDA\uFFFD \u2014 \uFFFDB\uFFFD",
         "\u200E\u2068A\u2069 \u2014 \u2068B\u2069"},
        {"\u2068a\u202Eb\u2067c\u2068d\u2069e\u2069", "\uFFFDa\uFFFDb\uFFFDc\uFFFDd\uFFFDe\uFFFD",
         "\u200E\u2068a\uFFFDb\uFFFDc\uFFFDd\u2069e\uFFFD"},
        {"Saved: \u2068open", "Saved: \uFFFDopen", "\u200ESaved: \u2068open\u2069"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(DisplayText::line(c.stored), c.line) << c.stored;
        EXPECT_EQ(DisplayText::name(c.stored), "\u2068" + c.line + "\u2069") << c.stored;
        EXPECT_EQ(DisplayText::composed(c.stored),
                  c.composed.empty() ? "\u200E" + c.line : c.composed)
            << c.stored;
    }
}

TEST(DisplayTextTest, longLinesAreCutBetweenCharactersAndOutsideIsolates) {
    const struct {
        std::string text;
        std::size_t max;
        std::string clipped;
    } cases[] = {
        {"abcdef", 3, "abc\u2026"},
        {"abc", 3, "abc"},
        {"\u00e9\u00e9\u00e9\u00e9", 2, "\u00e9\u00e9\u2026"}, // not mid-letter
        {"abe\u0301\u0302f", 4, "ab\u2026"},                   // nor between a letter and its marks
        {"\u200ESaved: \u2068Night\u2069", 11, "\u200ESaved: \u2068Ni\u2069\u2026"},
        {"\u200E\u2068A\u2069 \u2014 \u2068B\u2069", 6, "\u200E\u2068A\u2069 \u2014\u2026"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(DisplayText::clipped(c.text, c.max), c.clipped) << c.text << " " << c.max;
}

TEST(PanelStateTest, theRunEndNoticeSaysHowTheRunEnded) {
    EXPECT_EQ(PanelState::runEndTitle("Complete"), "Download complete");
    EXPECT_EQ(PanelState::runEndTitle("Cancelled"), "Download stopped");
    EXPECT_EQ(PanelState::runEndTitle("Stopped: Could not write to /x: disk full"),
              "Download stopped");
}

TEST(DateTextTest, abbreviatedDateAndShortTimeFollowTheLocale) {
    using namespace std::chrono;
    const Date date = Date{sys_days{year{2026} / 12 / 6}} + hours{20} + minutes{46};
    EXPECT_EQ(DateText::abbreviated(date, "en_US", "UTC"), "Dec 6, 2026, 8:46\u202fPM");
    EXPECT_EQ(DateText::abbreviated(date, "en_GB", "UTC"), "6 Dec 2026, 20:46");
    EXPECT_EQ(DateText::abbreviated(date, "de_DE", "Europe/Berlin"), "06.12.2026, 21:46");
}

TEST(DisplayTextTest, captionsAreUpperCaseInEveryLocale) {
    EXPECT_EQ(DisplayText::upperCase("Getting started"), "GETTING STARTED");
    EXPECT_EQ(DisplayText::upperCase("Unable to download (3)"), "UNABLE TO DOWNLOAD (3)");
    EXPECT_EQ(DisplayText::upperCase("café istanbul"), "CAFÉ ISTANBUL");
}

} // namespace
