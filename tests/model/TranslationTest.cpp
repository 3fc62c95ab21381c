#include "model/Translation.hpp"

#include <clocale>
#include <cstdlib>
#include <gtest/gtest.h>

TEST(Translation, namedValuesGoInWhereverTheTextPutsThem) {
    const struct {
        const char* text;
        const char* expected;
    } cases[] = {
        {"Saved: {title}", "Saved: Night {count} Drive"}, // a value's braces stay as they are
        {"{number} of {total}", "2 of 5"},
        {"{total}中 {number}", "5中 2"}, // a translation may reorder them
        {"{unknown} and {", "{unknown} and {"},
        {"no values", "no values"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Translation::fill(
                      c.text, {{"title", "Night {count} Drive"}, {"number", "2"}, {"total", "5"}}),
                  c.expected)
            << c.text;
}

// The catalogues compiled in the build folder, read as the app reads them:
// each language's own plural rule, its number grouping and direction.
TEST(Translation, eachLanguageCountsInItsOwnForms) {
    const struct {
        const char* locale;
        std::int64_t count;
        const char* expected;
    } cases[] = {
        {"C.UTF-8", 1, "Downloaded 1 file"},
        {"C.UTF-8", 0, "Downloaded 0 files"},
        {"de_DE.UTF-8", 1, "1 Datei heruntergeladen"},
        {"de_DE.UTF-8", 0, "0 Dateien heruntergeladen"},
        {"de_DE.UTF-8", 12345, "12.345 Dateien heruntergeladen"},
        {"fr_FR.UTF-8", 0, "0 fichier téléchargé"}, // French takes the singular for 0
        {"fr_FR.UTF-8", 2, "2 fichiers téléchargés"},
        {"es_ES.UTF-8", 1, "1 archivo descargado"},
    };
    for (const auto& c : cases) {
        setenv("LC_ALL", c.locale, 1);
        Translation::setUp();
        if (std::string(std::setlocale(LC_MESSAGES, nullptr)) != c.locale) {
            ADD_FAILURE() << c.locale << " is not generated: run scripts/install-deps";
            continue;
        }
        EXPECT_EQ(
            Translation::counted(c.count, "Downloaded {count} file", "Downloaded {count} files"),
            c.expected);
        EXPECT_FALSE(Translation::rightToLeft()) << c.locale;
    }
    unsetenv("LC_ALL");
    std::setlocale(LC_ALL, "C");
}
