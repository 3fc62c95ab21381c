// What the stand-in service does that the web-session tests, which run the
// real page scripts against it, do not reach: its strictness and bounds, its
// fault options, its WAV files and their storage, sign-in state, the update
// host and its command line.
#include "support/Catalogue.hpp"
#include "support/StandInService.hpp"
#include "tools/HttpClient.hpp"

#include <gtest/gtest.h>
#include <limits>

using SimTesting::CatalogueFile;
using SimTesting::clip;

namespace {

const Http::Headers token{{"Authorization", std::string("Bearer ") + StandInService::acceptedToken}};
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
    void prod(const std::string& id) const {
        call("GET", "/api/download/clip/" + id + "?format=mp3");
        call("POST", "/api/billing/clips/" + id + "/download/", tokenAndJson);
    }
};

std::uint64_t littleEndian(const std::string& bytes, std::size_t at, int size) {
    std::uint64_t value = 0;
    for (int i = size - 1; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    return value;
}

// Why the program would not start: "status N" and its first line, or "started".
std::string startFailure(std::vector<std::string> arguments) {
    try {
        StandInService service(std::move(arguments));
    } catch (const std::runtime_error& error) {
        return error.what();
    }
    return "started";
}

} // namespace

TEST(OrvoSim, routesAnswerOnlyTheirExactMethodPathTokenAndContentType) {
    const CatalogueFile catalogue({clip("a")});
    StandInService service({"--catalogue", catalogue.path()});
    const Api api{service};
    const Http::Headers none, madeUp{{"Authorization", "Bearer made-up"}},
        noScheme{{"Authorization", StandInService::acceptedToken}},
        textBody{token[0], {"Content-Type", "text/plain"}}, noType{token[0], {"Content-Type", ""}};
    const std::string feed = R"({"page":0})";
    struct Case {
        const char* method;
        std::string path;
        const Http::Headers& headers;
        std::optional<std::string> body;
        unsigned status;
    };
    const Case cases[] = {
        {"POST", "/api/feed/v3", tokenAndJson, feed, 200},
        {"POST", "/api/feed/v3/", tokenAndJson, feed, 404},
        {"GET", "/api/feed/v3", token, {}, 405},
        {"POST", "/api/feed/v3", textBody, feed, 415},
        {"POST", "/api/feed/v3", noType, feed, 415},
        {"POST", "/api/feed/v3", none, feed, 401},
        {"POST", "/api/feed/v3", madeUp, feed, 401},
        {"POST", "/api/feed/v3", noScheme, feed, 401},
        {"POST", "/api/feed/v3", tokenAndJson, "not json", 400},
        {"POST", "/api/feed/v3", tokenAndJson, R"({"cursor":"never-issued"})", 400},
        {"POST", "/api/feed/v3", tokenAndJson, R"({"cursor":12})", 400},
        {"POST", "/api/feed/v3", tokenAndJson, R"({"page":-1})", 400},
        {"POST", "/api/feed/v3", tokenAndJson, std::string(2 << 20, ' '), 413},
        {"POST", "/api/gen/a/convert_wav/", token, {}, 200},
        {"POST", "/api/gen/a/convert_wav", token, {}, 404},
        {"GET", "/api/gen/a/convert_wav/", token, {}, 405},
        {"POST", "/api/gen/a/convert_wav/", none, {}, 401},
        {"POST", "/api/gen/unknown/convert_wav/", token, {}, 404},
        {"GET", "/api/gen/a/wav_file/", token, {}, 200},
        {"GET", "/api/gen/a/wav_file", token, {}, 404},
        {"GET", "/api/gen/a/wav_file/", none, {}, 401},
        {"GET", "/api/download/clip/a?format=mp3", token, {}, 200},
        {"GET", "/api/download/clip/a", token, {}, 404},
        {"GET", "/api/download/clip/a?format=wav", token, {}, 404},
        {"GET", "/api/download/clip/a?format=mp3", none, {}, 401},
        {"POST", "/api/billing/clips/a/download/", tokenAndJson, {}, 200},
        {"POST", "/api/billing/clips/a/download/", token, {}, 415},
        {"POST", "/api/billing/clips/a/download", tokenAndJson, {}, 404},
        {"GET", "/api/billing/clips/a/download/", tokenAndJson, {}, 405},
        {"POST", "/_sim/clock?advance=inf", none, {}, 400},
        {"POST", "/_sim/clock?advance=nan", none, {}, 400},
        {"POST", "/_sim/clock?advance=-1", none, {}, 400},
    };
    for (const auto& c : cases)
        EXPECT_EQ(api.call(c.method, c.path, c.headers, c.body).status, c.status)
            << c.method << " " << c.path << " " << (c.body ? c.body->substr(0, 30) : "");

    // A page number far past the end is an empty last page, not an overflow.
    const auto far = api.feed({{"page", std::numeric_limits<std::uint64_t>::max()}}).json();
    EXPECT_TRUE(far["clips"].empty());
    EXPECT_FALSE(far["has_more"].get<bool>());
    // Only known clips are counted one by one.
    const auto counters = service.counters();
    EXPECT_EQ(counters["clips"].size(), 1u);
    EXPECT_EQ(counters["clips"]["a"], (nlohmann::json{{"convert_wav", 1},
                                                      {"wav_file", 1},
                                                      {"download_clip", 1},
                                                      {"billing_download", 1}}));
    EXPECT_EQ(counters["routes"]["too_large"], 1);
}

TEST(OrvoSim, feedFaultsBreakTheChosenCalls) {
    StandInService service({"--clips", "30", "--answer-delay", "3", "--feed-fault",
                            "not-json@1", "--feed-fault", "drop@2", "--feed-status", "503@3",
                            "--feed-fault", "slow@4", "--feed-repeat-cursor", "6",
                            "--feed-drop-cursor", "7"});
    const Api api{service};
    const nlohmann::json first{{"page", 0}};
    const auto notJson = api.feed(first);
    EXPECT_EQ(notJson.status, 200u);
    EXPECT_THROW((void)notJson.json(), nlohmann::json::exception);
    const auto dropped = api.feed(first);
    EXPECT_EQ(dropped.status, 0u);
    EXPECT_TRUE(dropped.error);
    EXPECT_EQ(api.feed(first).status, 503u);
    EXPECT_TRUE(api.feed(first, {.timeoutSeconds = 1}).error); // slower than the client waits
    const auto second = api.feed(first).json()["next_cursor"];
    const auto repeated = api.feed({{"cursor", second}}).json();
    EXPECT_EQ(repeated["next_cursor"], second);
    EXPECT_TRUE(repeated["has_more"].get<bool>());
    const auto cursorless = api.feed({{"cursor", second}}).json();
    EXPECT_TRUE(cursorless["has_more"].get<bool>());
    EXPECT_TRUE(cursorless["next_cursor"].is_null());
    EXPECT_EQ(api.feed({{"cursor", second}}).json()["clips"].size(), 10u); // the last page
}

TEST(OrvoSim, clipRouteFaultsComeFromTheCommandLineBeforeTheCatalogue) {
    const CatalogueFile catalogue(
        {clip("a", {{"api_faults", {{"wav_file", "503"}, {"convert_wav", "drop#1"}}}}),
         clip("b", {{"api_faults", {{"convert_wav", "not-json"}}}})});
    StandInService service({"--catalogue", catalogue.path(), "--convert-delay", "0",
                            "--api-fault", "wav_file:429@a,b#1", "--api-fault",
                            "download_clip:slow@b", "--answer-delay", "3"});
    const Api api{service};
    EXPECT_TRUE(api.convert("a").error);
    EXPECT_EQ(api.convert("a").status, 200u);
    const auto throttled = api.wavFile("a");
    EXPECT_EQ(throttled.status, 429u);
    EXPECT_EQ(throttled.header("retry-after"), "2");
    EXPECT_EQ(api.wavFile("a").status, 503u); // the catalogue's, once the option's is over

    EXPECT_EQ(api.convert("b").header("content-type"), "text/html; charset=utf-8");
    EXPECT_EQ(api.wavFile("b").status, 429u);
    // A call that failed started nothing.
    EXPECT_EQ(api.wavFile("b").json(), (nlohmann::json{{"status", "not_started"}}));
    EXPECT_TRUE(api.call("GET", "/api/download/clip/b?format=mp3", token, {},
                         {.timeoutSeconds = 1})
                    .error);
}

TEST(OrvoSim, conversionIsReadyAfterItsDelaySoonerAfterAProdAndNeverWhenToldSo) {
    const CatalogueFile catalogue(
        {clip("slow", {{"convert_delay", 3600}}), clip("quick", {{"convert_delay", 100}}),
         clip("prodded", {{"needs_prod", true}, {"convert_delay", 0}}),
         clip("never", {{"never_ready", true}}), clip("optionNever"), clip("plain")});
    StandInService service({"--catalogue", catalogue.path(), "--prod-delay", "2",
                            "--convert-delay", "10", "--convert-delay", "5@quick",
                            "--never-ready", "optionNever"});
    const Api api{service};
    EXPECT_EQ(api.wavFile("slow").json(), (nlohmann::json{{"status", "not_started"}}));
    for (const auto* id : {"slow", "quick", "prodded", "never", "optionNever", "plain"})
        api.convert(id);
    service.advanceClock(6);
    EXPECT_EQ(api.wavURL("quick"), api.service.apiOrigin() + "/storage/wav/quick.wav");
    EXPECT_EQ(api.wavURL("plain"), "");
    EXPECT_EQ(Http::send("GET", api.service.apiOrigin() + "/storage/wav/plain.wav").status, 404u);
    service.advanceClock(5);
    EXPECT_NE(api.wavURL("plain"), "");

    for (const auto* id : {"slow", "prodded", "never", "optionNever"})
        api.prod(id);
    service.advanceClock(1);
    EXPECT_EQ(api.wavURL("prodded"), "");
    service.advanceClock(1);
    EXPECT_NE(api.wavURL("slow"), "");
    EXPECT_NE(api.wavURL("prodded"), "");
    service.advanceClock(100000);
    EXPECT_EQ(api.wavURL("never"), "");
    EXPECT_EQ(api.wavURL("optionNever"), "");
}

TEST(OrvoSim, wavFilesHaveExactHeadersAndFailAsAsked) {
    std::vector<nlohmann::json> clips;
    for (const auto* id : {"fine", "missing", "cut", "page", "stuck", "twice"})
        clips.push_back(clip(id, {{"wav_seconds", 0.5}}));
    clips.push_back(clip("long", {{"wav_seconds", 30000}})); // about 5.3 GB
    clips.back()["wav_fault"] = "404#2";
    const CatalogueFile catalogue(clips);
    StandInService service({"--catalogue", catalogue.path(), "--convert-delay", "0",
                            "--wav-fault", "404@missing", "--wav-fault", "short@cut",
                            "--wav-fault", "not-wav@page", "--wav-fault", "stall@stuck",
                            "--wav-fault", "404@twice#2"});
    const Api api{service};
    auto fetch = [&](const std::string& id, const Http::Options& options = {}) {
        api.convert(id);
        return Http::send("GET", api.wavURL(id), {}, {}, options);
    };
    const std::uint64_t data = 22050 * 4, full = 44 + data;

    const auto fine = fetch("fine");
    EXPECT_EQ(fine.header("content-type"), "audio/wav");
    EXPECT_EQ(fine.header("content-length"), std::to_string(full));
    ASSERT_EQ(fine.body.size(), full);
    const auto& h = fine.body;
    EXPECT_EQ(h.substr(0, 4) + h.substr(8, 8) + h.substr(36, 4), "RIFFWAVEfmt data");
    EXPECT_EQ(littleEndian(h, 4, 4), 36 + data);
    EXPECT_EQ(littleEndian(h, 40, 4), data);
    // 16 bytes of format, PCM, 2 channels, 44100 Hz, 176400 bytes/s, 4-byte frames, 16 bits
    EXPECT_EQ(h.substr(16, 20), std::string("\x10\0\0\0\1\0\2\0\x44\xac\0\0\x10\xb1\x02\0\4\0\x10\0", 20));
    EXPECT_NE(h.find_first_not_of('\0', 52), std::string::npos); // a tone, not silence

    // Past 4 GiB the header is RF64, with the exact sizes in its ds64 chunk.
    EXPECT_EQ(fetch("long").status, 404u);
    EXPECT_EQ(fetch("long").status, 404u);
    const auto long_ = fetch("long", {.limit = 80});
    const std::uint64_t longData = 30000ULL * 44100 * 4;
    EXPECT_EQ(long_.header("content-length"), std::to_string(80 + longData));
    EXPECT_EQ(long_.body.substr(0, 4) + long_.body.substr(8, 8), "RF64WAVEds64");
    EXPECT_EQ(littleEndian(long_.body, 20, 8), 72 + longData);
    EXPECT_EQ(littleEndian(long_.body, 28, 8), longData);
    EXPECT_EQ(long_.body.substr(72, 4), "data");

    EXPECT_EQ(fetch("missing").status, 404u);
    const auto cut = fetch("cut"); // libsoup 3.2 sees a plain end of the body
    EXPECT_EQ(cut.header("content-length"), std::to_string(full));
    EXPECT_LT(cut.body.size(), full);
    EXPECT_TRUE(fetch("page").header("content-type").starts_with("text/html"));
    const auto stuck = fetch("stuck", {.timeoutSeconds = 1});
    EXPECT_EQ(stuck.status, 200u);
    EXPECT_TRUE(stuck.error);
    EXPECT_LT(stuck.body.size(), full);
    EXPECT_EQ(api.feed({{"page", 0}}).status, 200u); // everyone else is still served
    EXPECT_EQ(fetch("twice").status, 404u);
    EXPECT_EQ(fetch("twice").status, 404u);
    EXPECT_EQ(fetch("twice").body.size(), full);
}

TEST(OrvoSim, redirectedWavAddressesAreSignedForTheStorageOriginAndExpire) {
    const CatalogueFile catalogue({clip("a", {{"wav_seconds", 0.1}})});
    StandInService service({"--catalogue", catalogue.path(), "--convert-delay", "0",
                            "--wav-redirect", "--signed-url-lifetime", "60"});
    const Api api{service};
    api.convert("a");
    const auto address = api.wavURL("a");
    EXPECT_EQ(Http::send("GET", address, {}, {}, {.followRedirects = true}).body.substr(0, 4),
              "RIFF");
    const auto signed_ = Http::send("GET", address).header("location");
    ASSERT_TRUE(signed_.starts_with(service.storageOrigin() + "/wav/a.wav?expires=")) << signed_;
    EXPECT_EQ(Http::send("GET", signed_).status, 200u);
    EXPECT_EQ(Http::send("GET", signed_ + "0").status, 403u); // signature changed
    service.advanceClock(61);
    const auto expired = Http::send("GET", signed_);
    EXPECT_EQ(expired.status, 403u);
    EXPECT_NE(expired.body.find("Request has expired"), std::string::npos);
    EXPECT_EQ(Http::send("GET", address, {}, {}, {.followRedirects = true}).status, 200u);
}

TEST(OrvoSim, signInBuysExpiringTokensAndSessionsLastOnlyWithAStateFolder) {
    TempDir state;
    const auto stateArguments = std::vector<std::string>{"--state-dir", state.path().string()};
    std::string cookie;
    auto token = [&](const StandInService& service) {
        return Http::send("POST", service.webOrigin() + "/auth/token", {{"Cookie", cookie}});
    };
    {
        StandInService service(stateArguments);
        const Http::Headers form{{"Content-Type", "application/x-www-form-urlencoded"}};
        const auto refused = Http::send("POST", service.webOrigin() + "/sign-in", form,
                                        "email=a%40b.c&password=");
        EXPECT_EQ(refused.status, 400u);
        EXPECT_EQ(refused.header("set-cookie"), "");
        const auto signedIn = Http::send("POST", service.webOrigin() + "/sign-in", form,
                                         "email=a%40b.c&password=x");
        EXPECT_EQ(signedIn.status, 303u);
        cookie = signedIn.header("set-cookie").substr(0, signedIn.header("set-cookie").find(';'));
        const auto jwt = token(service).json()["jwt"].get<std::string>();
        const Http::Headers bearer{{"Authorization", "Bearer " + jwt}};
        EXPECT_EQ(Http::send("GET", service.apiOrigin() + "/api/gen/x/wav_file/", bearer).status,
                  404u);
        service.advanceClock(61);
        EXPECT_EQ(Http::send("GET", service.apiOrigin() + "/api/gen/x/wav_file/", bearer).status,
                  401u);
    }
    EXPECT_EQ(token(StandInService(stateArguments)).status, 200u);
    EXPECT_EQ(token(StandInService()).status, 401u);

    // Track pages escape what the catalogue holds.
    const CatalogueFile catalogue({clip("id 1", {{"title", "<b>Bold</b> & \"quoted\""}})});
    StandInService service({"--catalogue", catalogue.path()});
    const auto page = Http::send("GET", service.webOrigin() + "/song/id%201").body;
    EXPECT_NE(page.find("&lt;b&gt;Bold&lt;/b&gt; &amp; &quot;quoted&quot;"), std::string::npos);
    EXPECT_EQ(page.find("<b>Bold"), std::string::npos);
}

TEST(OrvoSim, updateHostAnswersAsAsked) {
    auto ask = [](std::vector<std::string> arguments) {
        StandInService service(std::move(arguments));
        auto answer = Http::send("GET", service.updateOrigin() + "/wp-json/wp/v2/media/7848", {},
                                 {}, {.timeoutSeconds = 1});
        // The origin varies from run to run; name it.
        const auto at = answer.body.find(service.updateOrigin());
        if (at != std::string::npos)
            answer.body.replace(at, service.updateOrigin().size(), "{origin}");
        return answer;
    };
    EXPECT_EQ(ask({}).json()["alt_text"], "1.0.0|{origin}/download");
    EXPECT_EQ(ask({"--update-alt-text", " 9.1 | {origin}/get "}).json()["alt_text"],
              " 9.1 | {origin}/get ");
    const auto noAltText = ask({"--update-response", "no-alt-text"});
    EXPECT_EQ(noAltText.status, 200u);
    EXPECT_FALSE(noAltText.json().contains("alt_text"));
    EXPECT_THROW((void)ask({"--update-response", "not-json"}).json(), nlohmann::json::exception);
    EXPECT_EQ(ask({"--update-response", "not-found"}).status, 404u);
    EXPECT_TRUE(ask({"--update-response", "stall"}).error);
}

TEST(OrvoSim, generatedCatalogueFollowsItsSeedAndUnusableStartsSayWhy) {
    auto firstPage = [](std::vector<std::string> arguments) {
        StandInService service(std::move(arguments));
        return Api{service}.feed({{"page", 0}}).json()["clips"];
    };
    EXPECT_EQ(firstPage({"--seed", "5"}), firstPage({"--seed", "5"}));
    EXPECT_NE(firstPage({"--seed", "5"}), firstPage({"--seed", "6"}));
    for (const auto& clip : firstPage({"--clips", "20", "--incomplete-share", "1",
                                       "--no-project-share", "1", "--trashed-share", "1"})) {
        EXPECT_NE(clip["status"], "complete");
        EXPECT_FALSE(clip.contains("project"));
        EXPECT_TRUE(clip["is_trashed"].get<bool>());
    }

    const CatalogueFile badFault({clip("a", {{"api_faults", {{"wav_file", "melt"}}}})});
    const std::vector<std::pair<std::vector<std::string>, const char*>> failures{
        {{"--no-such-option"}, "status 2"},
        {{"--page-size", "0"}, "status 2"},
        {{"--api-fault", "feed:429@all"}, "status 2"},
        {{"--wav-fault", "melt@all"}, "status 2"},
        {{"--feed-fault", "200@1"}, "status 2"},
        {{"--catalogue", "/nonexistent/catalogue.json"}, "status 1"},
        {{"--catalogue", badFault.path()}, "status 1"},
    };
    for (const auto& [arguments, expected] : failures)
        EXPECT_NE(startFailure(arguments).find(expected), std::string::npos) << arguments[0];
    StandInService first;
    const auto port = first.webOrigin().substr(first.webOrigin().rfind(':') + 1);
    EXPECT_NE(startFailure({"--web-port", port}).find("status 1"), std::string::npos);
    EXPECT_EQ(first.stop(), 0);
}
