// What of the stand-in service the tests that run the real page scripts,
// the download engine and the update check against it do not reach: its
// strictness and bounds, the newer faults and delays, tokens and stored
// sign-ins, and its command line.
#include "support/Catalogue.hpp"
#include "support/StandInService.hpp"
#include "tools/HttpClient.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <limits>

using SimTesting::CatalogueFile;
using SimTesting::clip;

namespace {

const Http::Headers token{
    {"Authorization", std::string("Bearer ") + StandInService::acceptedToken}};
const Http::Headers tokenAndJson{token[0], {"Content-Type", "application/json"}};

// The studio API called as the page scripts call it.
struct Api {
    const StandInService& service;

    Http::Answer call(const std::string& method, const std::string& path,
                      const Http::Headers& headers = token,
                      const std::optional<std::string>& body = std::nullopt,
                      const Http::Options& options = {}) const {
        return Http::send(method, service.apiOrigin() + path, headers, body, options);
    }
    Http::Answer feed(const nlohmann::json& body, const Http::Options& options = {}) const {
        return call("POST", "/api/feed/v3", tokenAndJson, body.dump(), options);
    }
    Http::Answer convert(const std::string& id) const {
        return call("POST", "/api/gen/" + id + "/convert_wav/");
    }
    Http::Answer wavFile(const std::string& id) const {
        return call("GET", "/api/gen/" + id + "/wav_file/");
    }
    std::string wavURL(const std::string& id) const {
        const auto answer = wavFile(id);
        return answer.status == 200 ? answer.json().value("wav_file_url", "") : "";
    }
};

} // namespace

TEST(OrvoSim, routesAnswerOnlyTheirExactMethodPathTokenAndContentType) {
    const CatalogueFile catalogue({clip("a")});
    StandInService service({"--catalogue", catalogue.path()});
    const Api api{service};
    const Http::Headers none, madeUp{{"Authorization", "Bearer made-up"}},
        noScheme{{"Authorization", StandInService::acceptedToken}},
        textBody{token[0], {"Content-Type", "text/plain"}};
    const std::string feed = R"({"page":0})";
    struct Case {
        const char* method;
        std::string path;
        const Http::Headers& headers;
        std::optional<std::string> body;
        unsigned status;
    };
    const Case cases[] = {
        {"POST", "/api/feed/v3/", tokenAndJson, feed, 404},
        {"GET", "/api/feed/v3", token, {}, 405},
        {"POST", "/api/feed/v3", textBody, feed, 415},
        {"POST", "/api/feed/v3", madeUp, feed, 401},
        {"POST", "/api/feed/v3", noScheme, feed, 401},
        {"POST", "/api/feed/v3", tokenAndJson, "not json", 400},
        {"POST", "/api/feed/v3", tokenAndJson, R"({"cursor":"never-issued"})", 400},
        {"POST", "/api/feed/v3", tokenAndJson, R"({"page":-1})", 400},
        {"POST", "/api/feed/v3", tokenAndJson, std::string(2 << 20, ' '), 413},
        {"POST", "/api/gen/a/convert_wav/", token, {}, 200},
        {"POST", "/api/gen/a/convert_wav", token, {}, 404},
        {"GET", "/api/gen/a/convert_wav/", token, {}, 405},
        {"GET", "/api/gen/a/wav_file/", token, {}, 200},
        {"GET", "/api/gen/a/wav_file", token, {}, 404},
        {"GET", "/api/gen/a/wav_file/", none, {}, 401},
        {"GET", "/api/download/clip/a?format=mp3", token, {}, 200},
        {"GET", "/api/download/clip/a", token, {}, 404},
        {"GET", "/api/download/clip/a?format=mp3", none, {}, 401},
        {"POST", "/api/billing/clips/a/download/", tokenAndJson, {}, 200},
        {"POST", "/api/billing/clips/a/download/", token, {}, 415},
        {"POST", "/api/billing/clips/a/download", tokenAndJson, {}, 404},
        {"POST", "/_sim/clock?advance=inf", none, {}, 400},
        {"POST", "/_sim/clock?advance=-1", none, {}, 400},
    };
    for (const auto& c : cases)
        EXPECT_EQ(api.call(c.method, c.path, c.headers, c.body).status, c.status)
            << c.method << " " << c.path << " " << (c.body ? c.body->substr(0, 30) : "");

    // A page number far past the end is an empty last page, not an overflow.
    EXPECT_EQ(api.feed({{"page", std::numeric_limits<std::uint64_t>::max()}}).json()["clips"],
              nlohmann::json::array());
}

// Faults and delays break the chosen calls; for a clip, the command line's
// come before the catalogue's.
TEST(OrvoSim, faultsAndDelaysBreakTheChosenCalls) {
    const CatalogueFile catalogue(
        {clip("a", {{"api_faults", {{"wav_file", "503"}, {"convert_wav", "drop#1"}}}}),
         clip("b", {{"api_faults", {{"convert_wav", "not-json"}}}}),
         clip("slow", {{"convert_delay", 3600}}), clip("quick", {{"convert_delay", 100}})});
    StandInService service({"--catalogue", catalogue.path(), "--page-size", "2", "--convert-delay",
                            "10", "--convert-delay", "5@quick", "--api-fault",
                            "wav_file:429@a,b#1", "--api-fault", "download_clip:slow@b",
                            "--answer-delay", "3", "--feed-fault", "429@1", "--feed-fault",
                            "slow@2", "--feed-repeat-cursor", "4"});
    const Api api{service};
    const nlohmann::json first{{"page", 0}};
    EXPECT_EQ(api.feed(first).status, 429u);
    EXPECT_TRUE(api.feed(first, {.timeoutSeconds = 1}).error); // slower than the client waits
    const auto second = api.feed(first).json()["next_cursor"];
    const auto repeated = api.feed({{"cursor", second}}).json();
    EXPECT_EQ(repeated["next_cursor"], second);
    EXPECT_TRUE(repeated["has_more"].get<bool>());
    EXPECT_EQ(api.feed({{"cursor", second}}).json()["clips"].size(), 2u); // the last page

    EXPECT_TRUE(api.convert("a").error);
    EXPECT_EQ(api.convert("a").status, 200u);
    EXPECT_EQ(api.wavFile("a").header("retry-after"), "2"); // a 429
    EXPECT_EQ(api.wavFile("a").status, 503u); // the catalogue's, once the option's is over

    EXPECT_EQ(api.convert("b").header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(api.wavFile("b").status, 429u);
    // A call that failed started nothing.
    EXPECT_EQ(api.wavFile("b").json(), (nlohmann::json{{"status", "not_started"}}));
    EXPECT_TRUE(
        api.call("GET", "/api/download/clip/b?format=mp3", token, {}, {.timeoutSeconds = 1}).error);

    // A delay for one clip before the catalogue's, the catalogue's before the default.
    api.convert("slow");
    api.convert("quick");
    service.advanceClock(11);
    EXPECT_EQ(api.wavURL("quick"), service.apiOrigin() + "/storage/wav/quick.wav");
    EXPECT_EQ(api.wavURL("slow"), "");
}

TEST(OrvoSim, tokensExpireAndSignInsLastOnlyWithAStateFolder) {
    TempDir state;
    const std::vector<std::string> stateArguments{"--state-dir", state.path().string()};
    std::string cookie;
    auto token = [&](const StandInService& service) {
        return Http::send("POST", service.webOrigin() + "/auth/token", {{"Cookie", cookie}});
    };
    {
        StandInService service(stateArguments);
        cookie = Http::send("POST", service.webOrigin() + "/sign-in",
                            {{"Content-Type", "application/x-www-form-urlencoded"}},
                            "email=a%40b.c&password=x")
                     .header("set-cookie");
        cookie = cookie.substr(0, cookie.find(';'));
        const Http::Headers bearer{
            {"Authorization", "Bearer " + token(service).json().value("jwt", "")}};
        const auto address = service.apiOrigin() + "/api/gen/x/wav_file/";
        EXPECT_EQ(Http::send("GET", address, bearer).status, 404u);
        service.advanceClock(61);
        EXPECT_EQ(Http::send("GET", address, bearer).status, 401u);
    }
    EXPECT_EQ(token(StandInService(stateArguments)).status, 200u);
    EXPECT_EQ(token(StandInService()).status, 401u);

    // Asked to, the home page signs in whoever opens it without a session.
    StandInService signingIn({"--sign-in-on-load", "a@b.c"});
    const auto opened = Http::send("GET", signingIn.webOrigin() + "/");
    EXPECT_EQ(opened.status, 303u); // See Other: the page again, signed in
    cookie = opened.header("set-cookie");
    cookie = cookie.substr(0, cookie.find(';'));
    EXPECT_EQ(token(signingIn).status, 200u);
}

TEST(OrvoSim, unusableStartsSayWhy) {
    const CatalogueFile badFault({clip("a", {{"api_faults", {{"wav_file", "melt"}}}})});
    StandInService first;
    const auto port = first.webOrigin().substr(first.webOrigin().rfind(':') + 1);
    const std::vector<std::pair<std::vector<std::string>, const char*>> failures{
        {{"--no-such-option"}, "status 2"},
        {{"--api-fault", "feed:429@all"}, "status 2"},
        {{"--wav-fault", "melt@all"}, "status 2"},
        {{"--sign-in-on-load", ""}, "status 2"},
        {{"--catalogue", "/nonexistent/catalogue.json"}, "status 1"},
        {{"--catalogue", badFault.path()}, "status 1"},
        {{"--web-port", port}, "status 1"}, // taken by the first
    };
    for (const auto& [arguments, expected] : failures)
        EXPECT_THAT([&] { StandInService service(arguments); },
                    ::testing::ThrowsMessage<std::runtime_error>(::testing::HasSubstr(expected)))
            << arguments[0];
    EXPECT_EQ(first.stop(), 0);
}
