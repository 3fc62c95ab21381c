// Where the page may go and which of its window requests get a window.
#include "session/PagePolicy.hpp"

#include <gtest/gtest.h>

namespace {

using Verdict = PagePolicy::Verdict;

const PagePolicy policy(Origins{"https://orvo.example",
                                "https://api.orvo.example",
                                "https://updates.orvo.example",
                                {"https://accounts.orvo.example"}});

TEST(PagePolicyTest, navigationsStayOnTheServiceAndClickedLinksElsewhereGoToTheBrowser) {
    struct Case {
        const char* target;
        bool clicked, signedIn;
        Verdict verdict;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"https://orvo.example/song/1", false, true, Verdict::allow},
             {"https://ORVO.example:443/", false, false, Verdict::allow},
             {"https://accounts.orvo.example/sign-in", false, true, Verdict::allow},
             {"about:blank", false, true, Verdict::allow},
             {"about:srcdoc", false, false, Verdict::allow},
             {"blob:https://orvo.example/1234", false, false, Verdict::allow},
             // Another port or scheme is another origin.
             {"http://orvo.example/", false, false, Verdict::frameOnly},
             {"https://orvo.example:8443/", false, true, Verdict::ignore},
             {"https://evil.example/sign-in", true, false, Verdict::openInBrowser},
             {"https://evil.example/sign-in", true, true, Verdict::openInBrowser},
             // Signed out, a frame of the sign-in page may load its site.
             {"https://captcha.example/frame", false, false, Verdict::frameOnly},
             {"https://evil.example/", false, true, Verdict::ignore},
             {"blob:https://evil.example/1234", false, false, Verdict::ignore},
             {"data:text/html,<form>", true, false, Verdict::ignore},
             {"file:///etc/passwd", true, false, Verdict::ignore},
             {"javascript:alert(1)", true, false, Verdict::ignore},
         }) {
        SCOPED_TRACE(c.target);
        EXPECT_EQ(policy.navigation(c.target, c.clicked, c.signedIn), c.verdict);
    }
}

TEST(PagePolicyTest, windowsOpenOnlyForSigningInFromTheServicesOwnDocument) {
    const std::string home = "https://orvo.example";
    const std::string accounts = "https://accounts.orvo.example";
    struct Case {
        const char* what;
        PagePolicy::WindowRequest request;
        Verdict verdict;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"provider by click", {home, accounts + "/oauth", true}, Verdict::allow},
             {"provider by script", {home, accounts + "/oauth"}, Verdict::ignore},
             {"from a pop-up on a sign-in origin",
              {accounts, home + "/done", true},
              Verdict::allow},
             {"blank on click", {home, "about:blank", true}, Verdict::allow},
             {"blank by script", {home, "about:blank"}, Verdict::ignore},
             {"empty by script", {home, ""}, Verdict::ignore},
             {"blob of another site", {home, "blob:https://ads.example/1", true}, Verdict::ignore},
             {"data", {home, "data:text/html,x", true}, Verdict::ignore},
             {"another site by script", {home, "https://ads.example/win"}, Verdict::ignore},
             {"another site, link clicked",
              {home, "https://help.example/", true, true},
              Verdict::openInBrowser},
             {"signed in", {home, accounts + "/oauth", true, false, true}, Verdict::ignore},
             {"signed in, link clicked",
              {home, "https://help.example/", true, true, true},
              Verdict::openInBrowser},
             {"two open", {home, accounts + "/oauth", true, false, false, 2}, Verdict::ignore},
             {"one open", {home, accounts + "/oauth", true, false, false, 1}, Verdict::allow},
             {"from a foreign document", {"https://ads.example", home + "/"}, Verdict::ignore},
             {"from no document", {std::nullopt, home + "/"}, Verdict::ignore},
         }) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(policy.window(c.request), c.verdict);
    }
}

TEST(PagePolicyTest, aPopupIsTitledWithTheHostOfItsPage) {
    EXPECT_EQ(PagePolicy::popupTitle("https://accounts.orvo.example/x?y"),
              "Sign in — accounts.orvo.example");
    EXPECT_EQ(PagePolicy::popupTitle("blob:https://orvo.example/1"), "Sign in — orvo.example");
    EXPECT_EQ(PagePolicy::popupTitle("about:blank"), "Sign in");
    EXPECT_EQ(PagePolicy::popupTitle("data:text/html,x"), "Sign in");
    EXPECT_FALSE(policy.pageMayShow("data:text/html,x"));
}

} // namespace
