// The stand-in's web site (sign-in, the page's client, tokens, track
// pages), its update host, and how the program takes its command line.
#include "SimTesting.hpp"

#include <gtest/gtest.h>

using namespace SimTesting;

namespace {

// The session cookie ("__session=...") from a Set-Cookie answer.
std::string sessionCookie(const Http::Answer& answer) {
    const auto header = answer.header("set-cookie");
    return header.substr(0, header.find(';'));
}

Http::Answer signIn(const StandInService& service, const std::string& form) {
    return Http::send("POST", service.webOrigin() + "/sign-in", {}, form,
                      "application/x-www-form-urlencoded");
}

Http::Answer token(const StandInService& service, const std::string& cookie) {
    return Http::send("POST", service.webOrigin() + "/auth/token", {{"Cookie", cookie}});
}

} // namespace

TEST(SiteTest, signInSetsAPersistentCookieThatBuysShortLivedApiTokens) {
    StandInService service({"--token-lifetime", "60"});
    const auto answer = signIn(service, "email=ann%40example.org&password=secret");
    EXPECT_EQ(answer.status, 303u);
    EXPECT_EQ(answer.header("location"), "/");
    const auto cookie = sessionCookie(answer);
    ASSERT_TRUE(cookie.starts_with("__session=sess_")) << cookie;
    EXPECT_NE(answer.header("set-cookie").find("Max-Age="), std::string::npos);

    const auto home = Http::send("GET", service.webOrigin() + "/", {{"Cookie", cookie}});
    EXPECT_NE(home.body.find("Signed in as <span id=\"signed-in-email\">ann@example.org"),
              std::string::npos);

    const auto session =
        Http::send("GET", service.webOrigin() + "/auth/session", {{"Cookie", cookie}}).json();
    EXPECT_TRUE(session["signedIn"].get<bool>());
    EXPECT_EQ(session["user"]["email"], "ann@example.org");

    const auto jwt = token(service, cookie).json()["jwt"].get<std::string>();
    EXPECT_EQ(feed(service, {{"page", 0}}, bearer(jwt)).status, 200u);
    service.advanceClock(61);
    EXPECT_EQ(feed(service, {{"page", 0}}, bearer(jwt)).status, 401u);
    const auto fresh = token(service, cookie).json()["jwt"].get<std::string>();
    EXPECT_EQ(feed(service, {{"page", 0}}, bearer(fresh)).status, 200u);
}

TEST(SiteTest, signInWithoutEmailOrPasswordIsRefusedAndSetsNoCookie) {
    StandInService service;
    for (const auto* form : {"email=&password=x", "email=a%40b.c&password=", ""}) {
        const auto answer = signIn(service, form);
        EXPECT_EQ(answer.status, 400u) << form;
        EXPECT_EQ(answer.header("set-cookie"), "") << form;
        EXPECT_NE(answer.body.find("Enter your email and password."), std::string::npos);
    }
}

TEST(SiteTest, withoutASessionThereIsNoTokenAndSignOutEndsTheSession) {
    StandInService service;
    EXPECT_EQ(token(service, "").status, 401u);
    EXPECT_EQ(token(service, "__session=sess_forged").status, 401u);
    EXPECT_FALSE(
        Http::send("GET", service.webOrigin() + "/auth/session").json()["signedIn"].get<bool>());

    // The provider pop-up signs in through its own route.
    const auto provider = Http::send("POST", service.webOrigin() + "/oauth/complete");
    const auto cookie = sessionCookie(provider);
    EXPECT_EQ(token(service, cookie).status, 200u);
    Http::send("GET", service.webOrigin() + "/sign-out", {{"Cookie", cookie}});
    EXPECT_EQ(token(service, cookie).status, 401u);
}

TEST(SiteTest, sessionsSurviveARestartWithAStateFolder) {
    TempDir state;
    std::string cookie;
    {
        StandInService service({"--state-dir", state.path().string()});
        cookie = sessionCookie(signIn(service, "email=a%40b.c&password=x"));
    }
    StandInService restarted({"--state-dir", state.path().string()});
    EXPECT_EQ(token(restarted, cookie).status, 200u);

    StandInService forgetful;
    EXPECT_EQ(token(forgetful, cookie).status, 401u);
}

TEST(SiteTest, trackPageShowsTheTitleEscapedAndUnknownTracksAreNotFound) {
    const CatalogueFile catalogue({clip("id with space", {{"title", "<b>Bold</b> & \"quoted\""}})});
    StandInService service({"--catalogue", catalogue.path()});
    const auto page = Http::send("GET", service.webOrigin() + "/song/id%20with%20space");
    EXPECT_EQ(page.status, 200u);
    EXPECT_NE(page.body.find("&lt;b&gt;Bold&lt;/b&gt; &amp; &quot;quoted&quot;"),
              std::string::npos);
    EXPECT_EQ(page.body.find("<b>Bold"), std::string::npos);
    EXPECT_EQ(Http::send("GET", service.webOrigin() + "/song/nope").status, 404u);
}

TEST(SiteTest, updateHostPublishesThisVersionOrTheTextOrAnswerAsked) {
    auto ask = [](const StandInService& service) {
        return Http::send("GET", service.updateOrigin() + "/wp-json/wp/v2/media/7848");
    };
    StandInService plain;
    EXPECT_EQ(ask(plain).json()["alt_text"], "1.0.0|" + plain.updateOrigin() + "/download");
    StandInService custom({"--update-alt-text", " 9.1 | {origin}/get "});
    EXPECT_EQ(ask(custom).json()["alt_text"], " 9.1 | " + custom.updateOrigin() + "/get ");

    StandInService noAltText({"--update-response", "no-alt-text"});
    const auto object = ask(noAltText);
    EXPECT_EQ(object.status, 200u);
    EXPECT_TRUE(object.json().is_object());
    EXPECT_FALSE(object.json().contains("alt_text"));

    StandInService notJson({"--update-response", "not-json"});
    const auto html = ask(notJson);
    EXPECT_EQ(html.status, 200u);
    EXPECT_THROW((void)html.json(), nlohmann::json::exception);

    StandInService notFound({"--update-response", "not-found"});
    const auto missing = ask(notFound);
    EXPECT_EQ(missing.status, 404u);
    EXPECT_FALSE(missing.json().contains("alt_text"));

    StandInService stalled({"--update-response", "stall"});
    EXPECT_TRUE(
        Http::download(stalled.updateOrigin() + "/wp-json/wp/v2/media/7848", 256, std::nullopt, 1)
            .error);
}

TEST(SiteTest, generatedCatalogueDependsOnlyOnItsSeedAndShares) {
    auto firstPage = [](std::vector<std::string> arguments) {
        StandInService service(std::move(arguments));
        return feed(service, {{"page", 0}}).json()["clips"];
    };
    EXPECT_EQ(firstPage({"--seed", "5"}), firstPage({"--seed", "5"}));
    EXPECT_NE(firstPage({"--seed", "5"}), firstPage({"--seed", "6"}));

    const auto odd = firstPage({"--clips", "20", "--incomplete-share", "1", "--no-project-share",
                                "1", "--liked-share", "1", "--trashed-share", "1"});
    for (const auto& clip : odd) {
        EXPECT_NE(clip["status"], "complete");
        EXPECT_FALSE(clip.contains("project"));
        EXPECT_TRUE(clip["is_liked"].get<bool>());
        EXPECT_TRUE(clip["is_trashed"].get<bool>());
    }

    // Awkward titles come through as valid JSON text, untouched.
    const auto awkward =
        firstPage({"--clips", "20", "--awkward-share", "1", "--duplicate-share", "0"});
    int unusual = 0;
    for (const auto& clip : awkward) {
        const auto title = clip["title"].get<std::string>();
        unusual += title.find_first_of("/?:\"<|\\\t\n") != std::string::npos ||
                   title.find_first_not_of(' ') == std::string::npos || title.front() == '.' ||
                   static_cast<unsigned char>(title.front()) >= 0x80 || title.size() > 150 ||
                   title == "CON" || title == "song" || title == "Song";
    }
    EXPECT_GT(unusual, 10);
}

TEST(SiteTest, unusableCommandLinesAndCataloguesStopTheProgramWithAReason) {
    auto failure = [](std::vector<std::string> arguments) -> std::string {
        try {
            StandInService service(std::move(arguments));
        } catch (const std::runtime_error& error) {
            return error.what();
        }
        return "started";
    };
    for (const auto& usage : std::vector<std::vector<std::string>>{
             {"--no-such-option"}, {"--page-size", "0"}, {"--wav-fault", "melt@all"},
             {"--feed-status", "500@0"}})
        EXPECT_NE(failure(usage).find("status 2"), std::string::npos) << usage[0];
    EXPECT_NE(failure({"--catalogue", "/nonexistent/catalogue.json"}).find("status 1"),
              std::string::npos);

    const CatalogueFile badDelay({clip("a", {{"convert_delay", "soon"}})});
    EXPECT_NE(failure({"--catalogue", badDelay.path()}).find("status 1"), std::string::npos);

    StandInService first;
    const auto port = first.webOrigin().substr(first.webOrigin().rfind(':') + 1);
    EXPECT_NE(failure({"--web-port", port}).find("status 1"), std::string::npos);
}
