#pragma once
// A bridge in a presented window against the stand-in service started by
// the test.
#include "WebTestSupport.hpp"
#include "session/OrvoBridge.hpp"
#include "support/StandInService.hpp"

#include <gtest/gtest.h>
#include <memory>

namespace webtest {

class BridgeTest : public ::testing::Test {
  protected:
    // The profile is shared by the tests of one binary. It is not emptied
    // between tests (WebKit may still hold its files open); a sign-in stored
    // by an earlier test names a session the next stand-in does not know.
    void SetUp() override { initGtk(); }
    void TearDown() override { closeBridge(); }

    // Starts the stand-in with these options (beside the test's own).
    void startService(std::vector<std::string> options = {}) {
        service = std::make_unique<StandInService>(std::move(options));
    }

    // A new bridge on the stand-in, its page shown in a window; its pauses
    // and time on the test's fast clock unless given another.
    void openBridge(Clock* bridgeClock = nullptr, std::vector<std::string> signInOrigins = {}) {
        bridge = std::make_unique<OrvoBridge>(Origins{service->webOrigin(), service->apiOrigin(),
                                                      service->updateOrigin(),
                                                      std::move(signInOrigins)},
                                              bridgeClock ? *bridgeClock : clock, 15);
        host = std::make_unique<HostWindow>(bridge->webView());
    }
    void closeBridge() {
        host.reset();
        bridge.reset();
    }

    nlohmann::json script(std::string text) {
        return runOnMainLoop(bridge->runner().run(std::move(text), {}));
    }
    // Whether the main page holds this expression true; false if the script failed.
    bool pageSays(const std::string& expression) {
        try {
            return script("return !!(" + expression + ");") == true;
        } catch (const ScriptError&) {
            return false;
        }
    }

    // Waits until the page's sign-in client has loaded and asked the site
    // about the session.
    bool waitForClient() {
        return runUntil([&] { return pageSays("window.Clerk && window.Clerk.loaded"); });
    }

    // Signs in through the page's own form, as a user would. The form is
    // sent after the script has answered, so the navigation cannot cut the
    // script off.
    void signInWithForm() {
        ASSERT_TRUE(runUntil([&] { return pageSays("document.getElementById('sign-in-form')"); }));
        script("document.getElementById('email').value = 'listener@orvo.example';"
               "document.getElementById('password').value = 'secret';"
               "setTimeout(() => document.getElementById('sign-in-form').submit(), 0);"
               "return true;");
    }

    bool waitForSignIn() {
        return runUntil([&] { return bridge->loggedIn(); });
    }
    // Lets the sign-in monitor probe the page three more times.
    void probeThrice() {
        const auto probes = clock.pauses().size();
        ASSERT_TRUE(runUntil([&] { return clock.pauses().size() >= probes + 3; }));
    }

    template <typename T> T run(Task<T> task) { return runOnMainLoop(std::move(task)); }

    std::unique_ptr<StandInService> service;
    FastClock clock;
    std::unique_ptr<OrvoBridge> bridge;
    std::unique_ptr<HostWindow> host;
};

} // namespace webtest
