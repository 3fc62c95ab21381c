// The service operations run for real: page scripts in the signed-in page
// against the stand-in's studio API.
#include "BridgeTesting.hpp"
#include "manager/Fakes.hpp"
#include "session/BridgeError.hpp"
#include "support/Catalogue.hpp"
#include "support/TempDir.hpp"

#include <gmock/gmock.h>

namespace {

using SimTesting::clip;
using webtest::BridgeTest;
using webtest::runUntil;

class ServiceTest : public BridgeTest {
  protected:
    // The stand-in on a catalogue of our own, its clips converting at once
    // unless they say otherwise, and a signed-in bridge.
    void startSignedIn(std::vector<nlohmann::json> clips, std::vector<std::string> options = {}) {
        catalogue.emplace(clips);
        options.insert(options.end(), {"--catalogue", catalogue->path(), "--convert-delay", "0"});
        startService(options);
        openBridge();
        signInWithForm();
        ASSERT_TRUE(waitForSignIn());
    }

    std::optional<SimTesting::CatalogueFile> catalogue;
};

} // namespace

TEST_F(ServiceTest, feedPagesThroughTheCatalogueWithCursors) {
    auto clips = SimTesting::clips(12);
    clips[2]["status"] = "queued";
    clips[3]["is_trashed"] = true;
    clips[4]["is_liked"] = true;
    startSignedIn(clips, {"--page-size", "5"});

    std::vector<FeedPage> pages{run(bridge->feedPage(std::nullopt))};
    while (pages.back().hasMore && pages.back().nextCursor && pages.size() < 10)
        pages.push_back(run(bridge->feedPage(pages.back().nextCursor)));

    ASSERT_EQ(pages.size(), 3u);
    EXPECT_EQ(pages[0].clips.size(), 3u); // c2 incomplete and c3 trashed left out
    EXPECT_EQ(pages[1].clips.size(), 5u);
    EXPECT_EQ(pages[2].clips.size(), 2u);
    EXPECT_FALSE(pages[2].hasMore);
    EXPECT_FALSE(pages[2].nextCursor);
    EXPECT_EQ(pages[0].clips[0], (RawClip{"c0", "Track c0", false, "P", "Workspace P"}));
    EXPECT_EQ(pages[0].clips[2], (RawClip{"c4", "Track c4", true, "P", "Workspace P"}));

    // An empty cursor asks for the first page too.
    EXPECT_EQ(run(bridge->feedPage("")), pages[0]);

    // The bodies as the service received them.
    EXPECT_EQ(service->counters()["feed_bodies"],
              nlohmann::json::array({{{"page", 0}},
                                     {{"cursor", *pages[0].nextCursor}},
                                     {{"cursor", *pages[1].nextCursor}},
                                     {{"page", 0}}}));
}

TEST_F(ServiceTest, feedFailuresAreReportedWithTheirCause) {
    using ::testing::StartsWith;
    using ::testing::ThrowsMessage;
    startSignedIn({clip("a")}, {"--feed-fault", "not-json@1", "--feed-fault", "drop@2"});
    const auto feed = [&] { return run(bridge->feedPage(std::nullopt)); };
    // A 200 that is not JSON, and no answer at all, reject the script instead.
    EXPECT_THAT(feed, ThrowsMessage<ScriptError>(StartsWith("SyntaxError: ")));
    EXPECT_THAT(feed, ThrowsMessage<ScriptError>(StartsWith("TypeError: ")));
    EXPECT_EQ(feed().clips.size(), 1u);

    // Ended on the site behind the page's back: the page's client gets no
    // token, and the API turns the request away.
    script("await fetch('/auth/sign-out', {method: 'POST'}); return true;");
    EXPECT_THAT(feed, ThrowsMessage<BridgeError>("Feed HTTP 401"));

    // Signed out in the page: the script itself fails.
    script("await window.Clerk.signOut(); return true;");
    EXPECT_THAT(feed, ThrowsMessage<ScriptError>(StartsWith("TypeError: ")));
    EXPECT_FALSE(bridge->loggedIn()); // the 401 ended it
}

TEST_F(ServiceTest, conversionAndProdThenWavAddress) {
    startSignedIn({clip("quick"), clip("slow", {{"needs_prod", true}})}, {"--prod-delay", "0"});
    EXPECT_EQ(run(bridge->wavURL("quick")), std::nullopt); // not asked yet

    run(bridge->convertWav("quick"));
    run(bridge->convertWav("slow"));
    EXPECT_EQ(run(bridge->wavURL("quick")), service->apiOrigin() + "/storage/wav/quick.wav");
    EXPECT_EQ(run(bridge->wavURL("slow")), std::nullopt);    // still converting
    EXPECT_EQ(run(bridge->wavURL("unknown")), std::nullopt); // 404
    run(bridge->convertWav("unknown"));                      // swallowed
    run(bridge->triggerMP3Download("slow"));
    EXPECT_EQ(run(bridge->wavURL("slow")), service->apiOrigin() + "/storage/wav/slow.wav");

    // Each request passed the service's checks (only those are counted).
    EXPECT_EQ(service->count("quick", "convert_wav"), 1);
    EXPECT_EQ(service->count("slow", "convert_wav"), 1);
    EXPECT_EQ(service->count("quick", "wav_file"), 2);
    EXPECT_EQ(service->count("slow", "wav_file"), 2);
    EXPECT_EQ(service->count("slow", "download_clip"), 1);
    EXPECT_EQ(service->count("slow", "billing_download"), 1);
    EXPECT_EQ(service->count("unknown", "convert_wav"), 0); // only known clips are counted
}

TEST_F(ServiceTest, scanCarriesOnWhenThePagesProcessIsKilled) {
    startSignedIn(SimTesting::clips(9), {"--page-size", "3"});

    // The scan's own retries, in real time, have to outlast the reload.
    GlibClock realTime;
    MemorySettings settings;
    FakeDownloader downloader;
    TempDir data;
    DownloadManager manager(*bridge, realTime, settings, downloader, data.path());
    int homeLoads = -1; // before the kill
    manager.signalChanged().connect([&](DownloadManager::Property property) {
        if (property == DownloadManager::Property::scanStatus && homeLoads < 0 &&
            manager.scanStatus().starts_with("Scanning your library")) {
            homeLoads = service->count("home");
            webkit_web_view_terminate_web_process(bridge->webKitView());
        }
    });
    run(manager.scan(ScanScope::full()));

    EXPECT_GE(homeLoads, 0);
    EXPECT_EQ(manager.scanStatus(), "1 workspace found (9 tracks).");
    EXPECT_EQ(service->count("home"), homeLoads + 1); // loaded again, once
    EXPECT_TRUE(bridge->loggedIn());
    // And the page serves every operation again.
    run(bridge->convertWav("c4"));
    EXPECT_EQ(run(bridge->wavURL("c4")), service->apiOrigin() + "/storage/wav/c4.wav");
}

namespace {

// Ends the session on the site, behind the page's back.
Task<void> signOutOnTheSite(ScriptRunner& runner) {
    ScriptArguments none;
    co_await runner.run("await fetch('/auth/sign-out', {method: 'POST'}); return true;",
                        std::move(none));
}

} // namespace

// The service ends the session behind the app's back: during a run, which
// stops with its message, keeping what it saved; and before a scan, which
// ends with the same status. Signing in again brings the same library back.
TEST_F(ServiceTest, aSignInLostOnTheServicesSideStopsTheRunAndTheScan) {
    const auto clips = SimTesting::clips(6);
    startSignedIn(clips);
    MemorySettings settings;
    FakeDownloader downloader;
    TempDir data, destination;
    DownloadManager manager(*bridge, clock, settings, downloader, data.path());
    bridge->loggedInChanged().connect([&] {
        if (!bridge->loggedIn())
            manager.signedOut(); // as the app does
    });
    run(manager.scan(ScanScope::full()));
    ASSERT_EQ(manager.workspaces().size(), 1u);
    const auto library = manager.workspaces();
    manager.setSelected({library[0].id});
    manager.setLikedOnly(false);
    manager.setDestFolder(destination.path());

    downloader.onDownload = [&] {
        if (downloader.urls.size() == 1)
            startDetached(signOutOnTheSite(bridge->runner()));
    };
    run(manager.start());
    EXPECT_EQ(manager.overall(), "Stopped: signed out of Orvo");
    EXPECT_TRUE(manager.failures().empty());
    // The files saved before are kept.
    EXPECT_GE(downloader.urls.size(), 1u);
    EXPECT_LT(downloader.urls.size(), clips.size());
    const auto saved = std::ranges::count_if(
        std::filesystem::recursive_directory_iterator(destination.path()),
        [](const auto& entry) { return entry.path().extension() == ".wav"; });
    EXPECT_EQ(std::size_t(saved), downloader.urls.size());
    EXPECT_FALSE(bridge->loggedIn());
    EXPECT_TRUE(bridge->sessionLost());

    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    EXPECT_FALSE(bridge->sessionLost());
    EXPECT_EQ(manager.workspaces(), library);

    run(signOutOnTheSite(bridge->runner()));
    run(manager.scan(ScanScope::full()));
    EXPECT_EQ(manager.scanStatus(), "Stopped: signed out of Orvo");
    EXPECT_FALSE(bridge->loggedIn());
    EXPECT_EQ(manager.workspaces(), library);
}

// Signing out removes the page's cookies, so a new bridge on the same
// profile shows the page signed out; library.json goes with the library.
TEST_F(ServiceTest, signOutForgetsTheSessionAndTheCachedLibrary) {
    startSignedIn({clip("a")});
    MemorySettings settings;
    FakeDownloader downloader;
    TempDir data;
    DownloadManager manager(*bridge, clock, settings, downloader, data.path());
    run(manager.scan(ScanScope::full()));
    manager.setSelected({"P"});
    ASSERT_TRUE(std::filesystem::exists(manager.cacheURL()));

    manager.forgetLibrary();
    run(bridge->signOut());
    EXPECT_FALSE(bridge->loggedIn());
    EXPECT_FALSE(bridge->sessionLost());
    EXPECT_FALSE(std::filesystem::exists(manager.cacheURL()));
    EXPECT_TRUE(manager.workspaces().empty());
    EXPECT_TRUE(manager.selected().empty());

    closeBridge();
    openBridge();
    ASSERT_TRUE(waitForClient());
    probeThrice();
    // The stand-in still knows the session: only the cookie's going keeps
    // the new page signed out.
    EXPECT_FALSE(bridge->loggedIn());
}
