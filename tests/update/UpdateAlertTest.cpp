#include "update/UpdateAlert.hpp"

#include <gtest/gtest.h>

namespace {

using UpdateChecker::alertFor;
using UpdateChecker::isNewer;

// A media record as the update host sends it, with this alt_text.
std::string record(const std::string& altText) {
    return R"({"id":7848,"alt_text":")" + altText + R"(","title":{"rendered":"x"}})";
}

const UpdateAlert noConnection{
    "Couldn’t check for updates", "Please check your internet connection and try again.", {}};
const UpdateAlert tryAgain{"Couldn’t check for updates", "Please try again in a moment.", {}};
const UpdateAlert upToDate{"You’re up to date", "You’re running the latest version (1.9).", {}};
UpdateAlert newer(const std::string& latest, std::optional<std::string> download = {}) {
    return {"A new version is available", "You have version 1.9. The latest is " + latest + ".",
            std::move(download)};
}

} // namespace

void PrintTo(const UpdateAlert& alert, std::ostream* out) {
    *out << alert.title << " / " << alert.body << " / " << alert.download.value_or("(none)");
}

TEST(UpdateAlertTest, versionsCompareAsNumbersPlaceByPlace) {
    struct Case {
        const char* a;
        const char* b;
        bool newer;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"1.10", "1.9", true},
             {"1.9", "1.10", false},
             {"1.0", "1.0.0", false},
             {"1.0.0", "1.0", false},
             {"1.0.1", "1.0", true},
             {"2", "1.9.9", true},
             {"2.0-beta", "2.0", false}, // "0-beta" is 0
             {"2.1-beta", "2.0", false}, // so is "1-beta"
             {"1..2", "1.2", false},     // empty pieces are skipped
             {"+2", "1", true},
             {"-1", "0", false},
             {"1. 2", "1.0", false},               // " 2" is not a number
             {"99999999999999999999", "1", false}, // too large: 0
             {"", "", false},
             {"", "0.0", false},
             {"0.0.1", "", true},
         })
        EXPECT_EQ(isNewer(c.a, c.b), c.newer) << c.a << " vs " << c.b;
}

TEST(UpdateAlertTest, answerBecomesTheOneAlertToShow) {
    const std::string page = "https://updates.example/download";
    struct Case {
        bool transportFailed;
        std::string body;
        UpdateAlert alert;
    };
    for (const Case& c : std::initializer_list<Case>{
             {true, record("2.0|" + page), noConnection},
             {false, "<!DOCTYPE html><html><body>Maintenance</body></html>", noConnection},
             {false, "", noConnection},
             {false, "\"2.0\"", noConnection}, // a bare value is no document
             {false, R"({"code":"rest_post_invalid_id","data":{"status":404}})", tryAgain},
             {false, R"([{"alt_text":"2.0"}])", tryAgain},
             {false, R"({"alt_text":2.0})", tryAgain},
             {false, record(" \\t\\n\\u00a0\\u2028"), tryAgain},
             {false, record("1.9|" + page), upToDate},
             {false, record("1.9.0"), upToDate},
             {false, record("|||"), upToDate}, // no version at all: the running one
             {false, record("2.0"), newer("2.0")},
             {false, record("\\t2.0 | " + page + " \\t"), newer("2.0", page)},
             {false, record("||2.0|" + page), newer("2.0", page)},
             {false, record("2.0|" + page + "?a=1|b"), newer("2.0")}, // "|" is no URI character
             {false, record("2.0|"), newer("2.0")},
             {false, record("2.0|not an address"), newer("2.0")},
             {false, record("2.0|https://updates.example/a b"), newer("2.0")},
             {false, record("2.0|javascript:alert(1)"), newer("2.0")},
             {false, record("2.0|file:///etc/passwd"), newer("2.0")},
             {false, record("2.0|/download"), newer("2.0")},
             {false, record("2.0|https://elsewhere.example/download"), newer("2.0")},
             // A long published text is shown cut to 64 characters.
             {false, record("2." + std::string(70, '9')), newer("2." + std::string(62, '9'))},
             {false, record("2.\u00e9" + std::string(70, '9')),
              newer("2.\u00e9" + std::string(61, '9'))},
         })
        EXPECT_EQ(alertFor(c.transportFailed, c.body, "1.9", "https://updates.example",
                           "https://orvo.example"),
                  c.alert)
            << c.body;
}

// The download page is on the update host's own origin, or over https on the
// web site's domain.
TEST(UpdateAlertTest, downloadPageIsOnTheUpdateOriginOrTheWebSite) {
    const auto onPage = [](const char* address, const char* update = "https://updates.example",
                           const char* web = "https://www.orvo.example") {
        return UpdateChecker::isDownloadPage(address, update, web);
    };
    for (const char* address : {
             "https://updates.example/download",
             "HTTPS://Updates.Example:443/download",
             "https://orvo.example/app",
             "https://www.orvo.example/app",
             "https://downloads.orvo.example/latest",
         })
        EXPECT_TRUE(onPage(address)) << address;
    for (const char* address : {
             "http://updates.example/download",
             "https://updates.example:8443/download",
             "http://orvo.example/app",
             "https://evilorvo.example/",
             "https://orvo.example.evil.test/",
             "https://elsewhere.example/",
             "https://user:pw@orvo.example/",
             "https://user@updates.example/download",
             "https://orvo.example/a b",
             "javascript:alert(1)",
         })
        EXPECT_FALSE(onPage(address)) << address;
    // The stand-in's update host on plain http, on this computer, offers its own pages.
    EXPECT_TRUE(
        onPage("http://127.0.0.1:4100/download", "http://127.0.0.1:4100", "http://127.0.0.1:4200"));
    EXPECT_FALSE(
        onPage("http://127.0.0.1:4200/download", "http://127.0.0.1:4100", "http://127.0.0.1:4200"));
    EXPECT_FALSE(onPage("https://0.0.1/", "https://u.example", "https://127.0.0.1"));
}
