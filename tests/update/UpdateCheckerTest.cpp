// The update check against the stand-in's update host, one host per answer.
#include "async/GlibClock.hpp"
#include "support/StandInService.hpp"
#include "update/UpdateChecker.hpp"

#include <gtest/gtest.h>

namespace {

const std::string path = "/wp-json/wp/v2/media/7848";

UpdateAlert checkAgainst(const StandInService& service, const std::string& current,
                         unsigned timeoutSeconds = 15) {
    return runOnMainLoop(UpdateChecker::check(service.updateOrigin() + path, current,
                                              service.webOrigin(), timeoutSeconds));
}

} // namespace

void PrintTo(const UpdateAlert& alert, std::ostream* out) {
    *out << alert.title << " / " << alert.body << " / " << alert.download.value_or("(none)");
}

TEST(UpdateCheckerTest, eachAnswerOfTheHostEndsInItsAlert) {
    const UpdateAlert cannotReach{
        "Couldn’t check for updates", "Please check your internet connection and try again.", {}};
    struct Case {
        std::vector<std::string> arguments;
        UpdateAlert alert;
    };
    for (const Case& c : std::initializer_list<Case>{
             {{"--update-response", "not-json"}, cannotReach},
             {{"--update-response", "not-found"},
              {"Couldn’t check for updates", "Please try again in a moment.", {}}},
             {{"--update-alt-text", " 9.0.1 |\t{origin}/download "},
              {"A new version is available", "You have version 1.4.0. The latest is 9.0.1.",
               "/download"}}, // on the host's own origin
         }) {
        StandInService service(c.arguments);
        UpdateAlert expected = c.alert;
        if (expected.download)
            expected.download = service.updateOrigin() + *expected.download;
        EXPECT_EQ(checkAgainst(service, "1.4.0"), expected) << c.arguments.back();
        EXPECT_EQ(service.counters()["routes"]["update"], 1) << c.arguments.back();
    }

    // A host that never answers, and one that is gone.
    StandInService silent({"--update-response", "stall"});
    EXPECT_EQ(checkAgainst(silent, "1.4.0", 1), cannotReach);
    silent.stop();
    EXPECT_EQ(checkAgainst(silent, "1.4.0"), cannotReach);
}

TEST(UpdateCheckerTest, builtInCheckAsksTheConfiguredHostAboutThisVersion) {
    // The host's default record names this very version.
    StandInService service;
    setenv("ORVO_UPDATE_ORIGIN", service.updateOrigin().c_str(), 1);
    EXPECT_EQ(UpdateChecker::manifestURL(), service.updateOrigin() + path);
    EXPECT_EQ(
        runOnMainLoop(UpdateChecker::check()),
        (UpdateAlert{"You’re up to date",
                     "You’re running the latest version (" + UpdateChecker::currentVersion() + ").",
                     {}}));
}
