// The studio API of the stand-in: tokens, feed paging, conversion and the
// prod, CORS for the web page, and the feed's fault options.
#include "SimTesting.hpp"

#include <gtest/gtest.h>
#include <set>

using namespace SimTesting;

TEST(StudioApiTest, startsOnThreeDistinctLoopbackOriginsAndStopsCleanly) {
    StandInService service;
    const std::set<std::string> origins{service.webOrigin(), service.apiOrigin(),
                                        service.updateOrigin()};
    EXPECT_EQ(origins.size(), 3u);
    for (const auto& origin : origins)
        EXPECT_TRUE(origin.starts_with("http://127.0.0.1:")) << origin;
    EXPECT_EQ(service.stop(), 0);
}

TEST(StudioApiTest, everyRouteAnswers401WithoutAValidToken) {
    StandInService service;
    const auto& api = service.apiOrigin();
    for (const auto& headers : {Http::Headers{}, bearer("made-up"),
                                Http::Headers{{"Authorization", "stand-in-test-token"}}}) {
        EXPECT_EQ(feed(service, {{"page", 0}}, headers).status, 401u);
        EXPECT_EQ(Http::send("POST", api + "/api/gen/x/convert_wav/", headers).status, 401u);
        EXPECT_EQ(Http::send("GET", api + "/api/gen/x/wav_file/", headers).status, 401u);
        EXPECT_EQ(Http::send("GET", api + "/api/download/clip/x?format=mp3", headers).status, 401u);
        EXPECT_EQ(Http::send("POST", api + "/api/billing/clips/x/download/", headers).status, 401u);
    }
    EXPECT_EQ(service.counters()["routes"]["unauthorized"], 15);
}

TEST(StudioApiTest, feedPagesThroughA250ClipCatalogueToItsEnd) {
    StandInService service({"--clips", "250", "--seed", "7"});
    std::set<std::string> ids;
    nlohmann::json body{{"page", 0}};
    int pages = 0;
    for (;;) {
        const auto answer = feed(service, body);
        ASSERT_EQ(answer.status, 200u);
        const auto page = answer.json();
        ++pages;
        for (const auto& clip : page["clips"])
            ids.insert(clip["id"].get<std::string>());
        if (!page["has_more"].get<bool>()) {
            EXPECT_TRUE(page["next_cursor"].is_null());
            break;
        }
        ASSERT_TRUE(page["next_cursor"].is_string());
        body = {{"cursor", page["next_cursor"]}};
        ASSERT_LT(pages, 20);
    }
    EXPECT_EQ(pages, 13); // 12 pages of 20 and one of 10
    EXPECT_EQ(ids.size(), 250u);
    const auto bodies = service.counters()["feed_bodies"];
    EXPECT_EQ(bodies[0], (nlohmann::json{{"page", 0}}));
    EXPECT_TRUE(bodies[1].contains("cursor"));
}

TEST(StudioApiTest, feedHonoursThePageSizeAndRefusesCursorsItNeverIssued) {
    StandInService service({"--clips", "7", "--page-size", "3"});
    const auto first = feed(service, {{"page", 0}}).json();
    EXPECT_EQ(first["clips"].size(), 3u);
    EXPECT_TRUE(first["has_more"].get<bool>());

    EXPECT_EQ(feed(service, {{"cursor", "not-a-cursor"}}).status, 400u);
    EXPECT_EQ(feed(service, {{"cursor", 12}}).status, 400u);
    EXPECT_EQ(Http::send("POST", service.apiOrigin() + "/api/feed/v3", bearer(), "not json").status,
              400u);
    EXPECT_EQ(Http::send("GET", service.apiOrigin() + "/api/feed/v3", bearer()).status, 405u);
}

TEST(StudioApiTest, feedServesCatalogueClipsAsWrittenWithoutSimulationMembers) {
    const CatalogueFile catalogue({clip("a", {{"convert_delay", 5}, {"wav_seconds", 1}}),
                                   {{"id", "b"}, {"title", 42}},
                                   {{"title", "no id, no project"}, {"status", "streaming"}}});
    StandInService service({"--catalogue", catalogue.path()});
    const auto clips = feed(service, {{"page", 0}}).json()["clips"];
    ASSERT_EQ(clips.size(), 3u);
    EXPECT_EQ(clips[0], clip("a"));
    EXPECT_EQ(clips[1], (nlohmann::json{{"id", "b"}, {"title", 42}}));
    EXPECT_FALSE(clips[2].contains("project"));
}

TEST(StudioApiTest, conversionIsReadyAfterItsDelayAndOnlyThenIsTheWavServed) {
    const CatalogueFile catalogue({clip("slow", {{"convert_delay", 30}})});
    StandInService service({"--catalogue", catalogue.path()});
    const auto storage = service.apiOrigin() + "/storage/wav/slow.wav";

    EXPECT_EQ(wavFile(service, "slow").status, 200u);
    EXPECT_EQ(wavURL(service, "slow"), "");
    EXPECT_EQ(convert(service, "slow").status, 200u);
    service.advanceClock(29);
    EXPECT_EQ(wavURL(service, "slow"), "");
    EXPECT_EQ(Http::download(storage).status, 404u);
    service.advanceClock(2);
    EXPECT_EQ(wavURL(service, "slow"), storage);
    EXPECT_EQ(Http::download(storage).status, 200u);

    EXPECT_EQ(convert(service, "unknown").status, 404u);
    EXPECT_EQ(wavFile(service, "unknown").status, 404u);
    EXPECT_EQ(Http::download(service.apiOrigin() + "/storage/wav/unknown.wav").status, 404u);
}

TEST(StudioApiTest, eitherProdRouteShortensASlowConversion) {
    const CatalogueFile catalogue(
        {clip("slow", {{"convert_delay", 3600}}), clip("quick", {{"convert_delay", 0}}),
         clip("a", {{"convert_delay", 3600}}), clip("b", {{"convert_delay", 3600}})});
    StandInService service({"--catalogue", catalogue.path(), "--prod-delay", "1"});

    // The app's road for a slow track: convert, poll, prod, convert, poll.
    convert(service, "slow");
    EXPECT_EQ(wavURL(service, "slow"), "");
    service.advanceClock(45);
    prod(service, "slow");
    convert(service, "slow");
    EXPECT_EQ(wavURL(service, "slow"), "");
    service.advanceClock(1);
    EXPECT_NE(wavURL(service, "slow"), "");

    convert(service, "quick");
    EXPECT_NE(wavURL(service, "quick"), "");

    const auto counted = service.counters()["clips"];
    EXPECT_EQ(counted["slow"]["convert_wav"], 2);
    EXPECT_EQ(counted["slow"]["download_clip"], 1);
    EXPECT_EQ(counted["slow"]["billing_download"], 1);
    EXPECT_EQ(counted["quick"]["convert_wav"], 1);
    EXPECT_FALSE(counted["quick"].contains("download_clip"));
    EXPECT_FALSE(counted["quick"].contains("billing_download"));

    // Each route works alone.
    convert(service, "a");
    convert(service, "b");
    Http::send("GET", service.apiOrigin() + "/api/download/clip/a?format=mp3", bearer());
    Http::send("POST", service.apiOrigin() + "/api/billing/clips/b/download/", bearer());
    service.advanceClock(1);
    EXPECT_NE(wavURL(service, "a"), "");
    EXPECT_NE(wavURL(service, "b"), "");
}

TEST(StudioApiTest, clipsThatNeedAProdOrNeverConvertBehaveSo) {
    const CatalogueFile catalogue({clip("prodded", {{"needs_prod", true}, {"convert_delay", 0}}),
                                   clip("never", {{"never_ready", true}}), clip("optionNever"),
                                   clip("optionProd", {{"convert_delay", 0}})});
    StandInService service({"--catalogue", catalogue.path(), "--never-ready", "optionNever",
                            "--needs-prod", "optionProd", "--prod-delay", "2"});
    for (const auto* id : {"prodded", "never", "optionNever", "optionProd"})
        convert(service, id);
    service.advanceClock(100000);
    for (const auto* id : {"prodded", "never", "optionNever", "optionProd"})
        EXPECT_EQ(wavURL(service, id), "") << id;

    for (const auto* id : {"prodded", "never", "optionNever", "optionProd"})
        prod(service, id);
    service.advanceClock(1);
    EXPECT_EQ(wavURL(service, "prodded"), "");
    service.advanceClock(1);
    EXPECT_NE(wavURL(service, "prodded"), "");
    EXPECT_NE(wavURL(service, "optionProd"), "");
    EXPECT_EQ(wavURL(service, "never"), "");
    EXPECT_EQ(wavURL(service, "optionNever"), "");
}

TEST(StudioApiTest, convertDelayOptionsSetTheDefaultAndOverrideTheCatalogueForListedClips) {
    const CatalogueFile catalogue(
        {clip("a", {{"convert_delay", 100}}), clip("b"), clip("c", {{"convert_delay", 100}})});
    StandInService service(
        {"--catalogue", catalogue.path(), "--convert-delay", "10", "--convert-delay", "5@c"});
    for (const auto* id : {"a", "b", "c"})
        convert(service, id);
    service.advanceClock(6);
    EXPECT_EQ(wavURL(service, "b"), "");
    EXPECT_NE(wavURL(service, "c"), "");
    service.advanceClock(5);
    EXPECT_NE(wavURL(service, "b"), "");
    EXPECT_EQ(wavURL(service, "a"), "");
}

TEST(StudioApiTest, generatedSlowClipsTakeTheSlowDelay) {
    StandInService service(
        {"--clips", "3", "--convert-delay", "0", "--slow-share", "1", "--slow-delay", "100"});
    const auto id = feed(service, {{"page", 0}}).json()["clips"][0]["id"].get<std::string>();
    convert(service, id);
    service.advanceClock(99);
    EXPECT_EQ(wavURL(service, id), "");
    service.advanceClock(2);
    EXPECT_NE(wavURL(service, id), "");
}

TEST(StudioApiTest, answersThePagesPreflightAndCallsFromTheWebOriginOnly) {
    StandInService service;
    const auto preflight =
        Http::send("OPTIONS", service.apiOrigin() + "/api/feed/v3",
                   {{"Origin", service.webOrigin()},
                    {"Access-Control-Request-Method", "POST"},
                    {"Access-Control-Request-Headers", "authorization,content-type"}});
    EXPECT_EQ(preflight.status, 204u);
    EXPECT_EQ(preflight.header("access-control-allow-origin"), service.webOrigin());
    EXPECT_NE(preflight.header("access-control-allow-headers").find("Authorization"),
              std::string::npos);
    EXPECT_NE(preflight.header("access-control-allow-headers").find("Content-Type"),
              std::string::npos);
    EXPECT_NE(preflight.header("access-control-allow-methods").find("POST"), std::string::npos);
    EXPECT_NE(preflight.header("access-control-allow-methods").find("GET"), std::string::npos);

    // Errors carry it too, or the page would see a network error, not a 401.
    auto withOrigin = Http::Headers{{"Origin", service.webOrigin()}};
    EXPECT_EQ(feed(service, {{"page", 0}}, withOrigin).header("access-control-allow-origin"),
              service.webOrigin());
    withOrigin.emplace_back("Authorization",
                            std::string("Bearer ") + StandInService::acceptedToken);
    EXPECT_EQ(feed(service, {{"page", 0}}, withOrigin).header("access-control-allow-origin"),
              service.webOrigin());

    const auto stranger = Http::send("OPTIONS", service.apiOrigin() + "/api/feed/v3",
                                     {{"Origin", "http://elsewhere.example"}});
    EXPECT_EQ(stranger.header("access-control-allow-origin"), "");
}

TEST(StudioApiTest, feedStatusFaultAnswersTheChosenCalls) {
    StandInService service({"--feed-status", "503@2", "--feed-status", "401@4-5"});
    std::vector<unsigned> statuses;
    for (int call = 0; call < 6; ++call)
        statuses.push_back(feed(service, {{"page", 0}}).status);
    EXPECT_EQ(statuses, (std::vector<unsigned>{200, 503, 200, 401, 401, 200}));

    StandInService always({"--feed-status", "500@all"});
    EXPECT_EQ(feed(always, {{"page", 0}}).status, 500u);
    EXPECT_EQ(feed(always, {{"page", 0}}).status, 500u);
}

TEST(StudioApiTest, dropCursorFaultAnnouncesMoreWithoutACursorOnTheChosenCalls) {
    StandInService service({"--clips", "30", "--feed-drop-cursor", "1-2,4"});
    auto page = feed(service, {{"page", 0}}).json();
    EXPECT_TRUE(page["has_more"].get<bool>());
    EXPECT_TRUE(page["next_cursor"].is_null());
    EXPECT_TRUE(feed(service, {{"page", 0}}).json()["next_cursor"].is_null());
    // The third read of the same page gives its cursor again.
    page = feed(service, {{"page", 0}}).json();
    ASSERT_TRUE(page["next_cursor"].is_string());
    // Even the last page says there is more.
    const auto last = feed(service, {{"cursor", page["next_cursor"]}}).json();
    EXPECT_TRUE(last["has_more"].get<bool>());
    EXPECT_TRUE(last["next_cursor"].is_null());
}
