// The web session against the stand-in service: sign-in detection, the
// stored session, pop-up windows and the user agent.
#include "BridgeTesting.hpp"
#include "session/BridgeError.hpp"

#include <filesystem>
#include <gdk/x11/gdkx.h>
#include <gmock/gmock.h>
#include <set>

namespace {

using webtest::BridgeTest;
using webtest::runFor;
using webtest::runUntil;

// What every pop-up window looked like while it was open. The settings'
// user agent is the one its page reports and its requests send.
struct PopupSightings {
    std::set<Gtk::Window*> shown; // with their page in them
    bool allLookRight = true;

    void look(OrvoBridge& bridge, Gtk::Window& mainWindow) {
        for (Gtk::Window* popup : bridge.popups()) {
            int width = 0, height = 0;
            popup->get_default_size(width, height);
            allLookRight = allLookRight && popup->get_title() == "Sign in — 127.0.0.1" &&
                           width == OrvoBridge::popupWidth && height == OrvoBridge::popupHeight &&
                           popup->get_transient_for() == &mainWindow;
            if (Gtk::Widget* page = popup->get_child()) {
                shown.insert(popup);
                auto* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(page->gobj()));
                allLookRight = allLookRight && webkit_settings_get_user_agent(settings) ==
                                                   std::string(OrvoBridge::userAgent);
            }
        }
    }
};

// Tests that place a frame of the stand-in's hostile pages on the sign-in
// page, from the storage origin (the same site as the web origin) or
// through localhost (another site), and click in it as a user would.
class FrameTest : public webtest::BridgeTest {
  protected:
    std::string sameSite(const std::string& path) { return service->storageOrigin() + path; }
    std::string otherSite(const std::string& path) {
        const std::string origin = service->storageOrigin();
        return "http://localhost:" + origin.substr(origin.rfind(':') + 1) + path;
    }
    // The frame covers the whole page, so a click anywhere lands in it.
    void placeFrame(const std::string& address) {
        script("const frame = document.createElement('iframe');"
               "frame.style = 'position:fixed;inset:0;width:100%;height:100%;border:0;z-index:9';"
               "frame.src = '" +
               address + "'; document.body.append(frame); return true;");
    }
    // A real click at the middle of the page, through the X server.
    void clickInPage() {
        Gtk::Window& window = host->window();
        GtkNative* native = GTK_NATIVE(window.gobj());
        double left = 0, top = 0;
        gtk_native_get_surface_transform(native, &left, &top);
        Gtk::Widget& page = bridge->webView();
        const graphene_point_t middle =
            GRAPHENE_POINT_INIT(float(page.get_width()) / 2, float(page.get_height()) / 2);
        graphene_point_t at{};
        ASSERT_TRUE(gtk_widget_compute_point(page.gobj(), GTK_WIDGET(window.gobj()), &middle, &at));
        // GTK 4.18 deprecates the X11 calls without a successor; X11 still answers.
        G_GNUC_BEGIN_IGNORE_DEPRECATIONS
        const auto xid = gdk_x11_surface_get_xid(gtk_native_get_surface(native));
        G_GNUC_END_IGNORE_DEPRECATIONS
        const std::string command = "xdotool mousemove --window " + std::to_string(xid) + " " +
                                    std::to_string(int(left + at.x)) + " " +
                                    std::to_string(int(top + at.y)) + " click 1";
        int status = -1;
        ASSERT_TRUE(g_spawn_command_line_sync(command.c_str(), nullptr, nullptr, &status, nullptr));
        ASSERT_EQ(status, 0);
    }
};

} // namespace

TEST_F(BridgeTest, monitorReportsSignInOnlyAfterThePageSignsInThenWatchesIt) {
    startService();
    openBridge();
    int changes = 0;
    bridge->loggedInChanged().connect([&] { ++changes; });

    // Loaded but signed out: still probing, still not signed in.
    ASSERT_TRUE(waitForClient());
    probeThrice();
    EXPECT_FALSE(bridge->loggedIn());
    EXPECT_EQ(changes, 0);

    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    EXPECT_EQ(changes, 1);
    for (const double pause : clock.pauses())
        EXPECT_EQ(pause, OrvoBridge::probeInterval);

    // Still signed in after many more probes: at a probe every 15 ms, this
    // is many intervals.
    runFor(0.5);
    EXPECT_TRUE(bridge->loggedIn());
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(script("return navigator.userAgent;"), OrvoBridge::userAgent);

    // A close request from the main page changes nothing.
    script("window.close(); return true;");
    runFor(0.2);
    EXPECT_TRUE(pageSays("window.Clerk"));
    EXPECT_TRUE(bridge->popups().empty());
    EXPECT_TRUE(host->window().get_visible());

    // Signed out in the page (keys that reach it, say): noticed.
    script("await window.Clerk.signOut(); return true;");
    ASSERT_TRUE(runUntil([&] { return !bridge->loggedIn(); }));
    EXPECT_EQ(changes, 2);
    EXPECT_TRUE(bridge->sessionLost());
}

TEST_F(BridgeTest, newBridgeOnTheSameProfileFindsTheStoredSessionWithoutUserAction) {
    startService();
    openBridge();
    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    closeBridge();

    openBridge();
    EXPECT_FALSE(bridge->loggedIn());
    ASSERT_TRUE(waitForSignIn());
    EXPECT_EQ(service->count("sign_in"), 1);
}

// A page that moves itself to another origin (by its script, or by a
// redirect) where a sign-in client claims a session and a fetch of its own
// answers the API: signed out or in, that document is never shown, so it
// is never taken as signed in and no operation reaches it.
TEST_F(BridgeTest, thePageNeverLeavesTheServiceForAnImpostor) {
    for (const char* path : {"/hostile/leave", "/hostile/redirect"}) {
        SCOPED_TRACE(path);
        startService({"--hostile-pages"});
        openBridge();
        ASSERT_TRUE(waitForClient());
        webkit_web_view_load_uri(bridge->webKitView(), (service->webOrigin() + path).c_str());
        ASSERT_TRUE(runUntil(
            [&] { return service->count(path[9] == 'l' ? "hostile_leave" : "hostile_redirect"); }));
        runFor(1);
        EXPECT_EQ(bridge->committedOrigin(), service->webOrigin());
        EXPECT_TRUE(pageSays("window.impostorCalls === undefined"));
        probeThrice();
        EXPECT_FALSE(bridge->loggedIn());
        closeBridge();
    }
}

// Once signed in, the page stays home: a script's navigation and a redirect
// away are refused, and a link the user clicks opens in the browser.
TEST_F(BridgeTest, signedInPageStaysOnTheServicesOrigins) {
    startService({"--hostile-pages"});
    openBridge();
    std::vector<std::string> opened;
    bridge->setLinkOpener([&](const std::string& uri) { opened.push_back(uri); });
    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    const std::string impostor = service->storageOrigin() + "/impostor";
    script("location.href = '" + impostor + "'; return true;");
    script("const a = document.createElement('a'); a.href = '" + impostor +
           "'; document.body.append(a); a.click(); return true;");
    webkit_web_view_load_uri(bridge->webKitView(),
                             (service->webOrigin() + "/hostile/redirect").c_str());
    ASSERT_TRUE(runUntil([&] { return service->count("hostile_redirect"); }));
    runFor(1);
    EXPECT_EQ(opened, std::vector<std::string>{impostor});
    EXPECT_EQ(service->count("impostor"), 0);
    EXPECT_EQ(bridge->committedOrigin(), service->webOrigin());
    // Within the site the page may still go where it likes.
    script("location.href = '/song/none'; return true;");
    EXPECT_TRUE(runUntil([&] { return pageSays("location.pathname === '/song/none'"); }));
}

// A page that crashes every time ends, after three reloads, in "Can't reach
// Orvo"; so does a home page that cannot be loaded. Try Again recovers once
// the site is there.
TEST_F(BridgeTest, aPageThatKeepsCrashingOrCannotLoadIsUnreachableUntilTriedAgain) {
    GlibClock realTime; // four crashes fit in the minute of the main loop's time
    startService();
    openBridge(&realTime);
    ASSERT_TRUE(waitForClient());
    for (int crash = 1; crash <= 4; ++crash) {
        const int homeLoads = service->count("home");
        webkit_web_view_terminate_web_process(bridge->webKitView());
        if (crash <= OrvoBridge::maxReloads) {
            ASSERT_TRUE(runUntil([&] { return service->count("home") > homeLoads; }));
            ASSERT_TRUE(waitForClient());
            EXPECT_FALSE(bridge->unreachable());
        }
    }
    ASSERT_TRUE(runUntil([&] { return bridge->unreachable(); }));
    runFor(0.3);
    EXPECT_EQ(service->count("home"), 1 + OrvoBridge::maxReloads);
    bridge->retry();
    EXPECT_FALSE(bridge->unreachable());
    ASSERT_TRUE(waitForClient());
    closeBridge();

    // Nothing listens where the web site should be.
    const std::string gone = service->webOrigin();
    service->stop();
    bridge = std::make_unique<OrvoBridge>(Origins{gone, gone, gone}, clock, 15);
    host = std::make_unique<webtest::HostWindow>(bridge->webView());
    ASSERT_TRUE(runUntil([&] { return bridge->unreachable(); }));
    EXPECT_FALSE(bridge->loggedIn());
}

namespace {

// Files whose names say a page's download wrote them, anywhere under the
// test's private HOME, XDG folders and TMPDIR.
std::vector<std::string> droppedFiles() {
    std::vector<std::string> found;
    const auto root = std::filesystem::path(g_get_home_dir()).parent_path();
    for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
        const auto name = entry.path().filename().string();
        if (name.find("dropped") != std::string::npos ||
            name.find("attached") != std::string::npos || name.ends_with("download"))
            found.push_back(entry.path().string());
    }
    return found;
}

// Counts the bridge's log lines about blocked downloads.
struct BlockedDownloads {
    int count = 0;
    guint handler = g_log_set_handler(
        nullptr, G_LOG_LEVEL_MESSAGE,
        [](const gchar*, GLogLevelFlags, const gchar* message, gpointer self) {
            if (std::string_view(message) == "Blocked a download from the Orvo page")
                ++static_cast<BlockedDownloads*>(self)->count;
        },
        this);
    ~BlockedDownloads() { g_log_remove_handler(nullptr, handler); }
};

} // namespace

// A page starts a download through <a download> and one through an
// attachment answer, from the main page and from a pop-up, before sign-in.
TEST_F(BridgeTest, pageDownloadsAreCancelledBeforeTheyWriteAnything) {
    BlockedDownloads blocked;
    startService({"--hostile-pages"});
    openBridge();
    ASSERT_TRUE(waitForClient());
    const std::string page = service->webOrigin() + "/hostile/downloads";
    script("window.open('" + page + "'); return true;");
    webkit_web_view_load_uri(bridge->webKitView(), page.c_str());
    ASSERT_TRUE(runUntil([&] { return blocked.count >= 4; }));
    runUntil([] { return !droppedFiles().empty(); }, 3); // were they let through
    EXPECT_EQ(blocked.count, 4);
    EXPECT_EQ(droppedFiles(), std::vector<std::string>());
}

namespace {

// Clicks Continue in the chooser's window once its page has run its script.
struct ChooserClick {
    bool pending = false;
    bool done = false;
    void tryOn(WebKitWebView* view) {
        if (pending || done)
            return;
        pending = true;
        webkit_web_view_evaluate_javascript(
            view,
            "(() => { const button = document.getElementById('continue');"
            "const ready = button && document.readyState !== 'loading';"
            "if (ready) button.click(); return !!ready; })()",
            -1, nullptr, nullptr, nullptr,
            [](GObject* view, GAsyncResult* result, gpointer self) {
                auto& click = *static_cast<ChooserClick*>(self);
                JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view),
                                                                             result, nullptr);
                click.pending = false;
                click.done = value && jsc_value_to_boolean(value);
                if (value)
                    g_object_unref(value);
            },
            this);
    }
};

class PopupTest : public BridgeTest {
  protected:
    // Clicks a button of the home page, then watches the pop-ups until the
    // sign-in is detected, they have left `popups` and their windows are
    // gone (once the close callback has returned): only the main one is left.
    PopupSightings signInThrough(const std::string& button) {
        startService({"--provider-delay", "400"});
        openBridge();
        EXPECT_TRUE(waitForClient());
        script("document.getElementById('" + button + "').click(); return true;");
        PopupSightings sightings;
        ChooserClick chooser;
        EXPECT_TRUE(runUntil([&] {
            sightings.look(*bridge, host->window());
            // The chooser opens the provider's window only on the user's click.
            if (button == "chooser-button" && bridge->popups().size() == 1 &&
                bridge->popups()[0]->get_child())
                chooser.tryOn(WEBKIT_WEB_VIEW(bridge->popups()[0]->get_child()->gobj()));
            return bridge->loggedIn() && bridge->popups().empty();
        }));
        EXPECT_TRUE(runUntil([&] { return !chooser.pending; }));
        EXPECT_TRUE(
            runUntil([] { return g_list_model_get_n_items(gtk_window_get_toplevels()) == 1; }));
        return sightings;
    }
};

} // namespace

TEST_F(PopupTest, popupsSignInAndLeaveWhenTheirPageClosesThem) {
    // The chooser's pop-up opens the provider's from within itself, once the
    // user clicks Continue in it.
    for (const auto& [button, popups] :
         {std::pair{"provider-button", 1u}, std::pair{"chooser-button", 2u}}) {
        SCOPED_TRACE(button);
        const auto sightings = signInThrough(button);
        EXPECT_EQ(sightings.shown.size(), popups);
        EXPECT_TRUE(sightings.allLookRight);
        EXPECT_EQ(service->count("provider_sign_in"), 1);
        closeBridge();
    }
}

// A pop-up the user closes with its title bar's button is gone from the
// list at once and its page freed; its title follows its page's host.
TEST_F(PopupTest, popupClosedByTheUserIsDestroyed) {
    startService({"--provider-delay", "600000"});
    const std::string localhost =
        "http://localhost:" + service->webOrigin().substr(service->webOrigin().rfind(':') + 1);
    openBridge(nullptr, {localhost});
    ASSERT_TRUE(waitForClient());
    script("window.open('/oauth/authorize?provider=orbit'); return true;");
    ASSERT_TRUE(
        runUntil([&] { return bridge->popups().size() == 1 && bridge->popups()[0]->get_child(); }));
    Gtk::Window* popup = bridge->popups()[0];
    auto* view = WEBKIT_WEB_VIEW(popup->get_child()->gobj());
    EXPECT_EQ(popup->get_title(), "Sign in — 127.0.0.1");
    webkit_web_view_load_uri(view, (localhost + "/").c_str());
    EXPECT_TRUE(runUntil([&] { return popup->get_title() == "Sign in — localhost"; }));

    bool freed = false;
    g_object_weak_ref(
        G_OBJECT(view), [](gpointer freed, GObject*) { *static_cast<bool*>(freed) = true; },
        &freed);
    popup->close();
    EXPECT_TRUE(bridge->popups().empty());
    EXPECT_TRUE(runUntil([&] { return freed; }));
    EXPECT_TRUE(runUntil([] { return g_list_model_get_n_items(gtk_window_get_toplevels()) == 1; }));
    EXPECT_FALSE(bridge->loggedIn());
}

// A frame of another site on the sign-in page asks for windows every way a
// page can, with no click, again and again, before and after sign-in: none
// opens, nothing of its site loads in one, no link goes to the browser. The
// user's own click on the provider's button still signs in through a
// pop-up titled with its host.
TEST_F(PopupTest, aForeignFrameNeverGetsAWindowWhileTheProviderStillSignsIn) {
    startService({"--hostile-sign-in", "--provider-delay", "400"});
    openBridge();
    std::vector<std::string> opened;
    bridge->setLinkOpener([&](const std::string& uri) { opened.push_back(uri); });
    ASSERT_TRUE(waitForClient());
    ASSERT_TRUE(runUntil([&] { return service->count("hostile_frame") > 0; }));
    const auto noWindow = [&] {
        return bridge->popups().empty() &&
               g_list_model_get_n_items(gtk_window_get_toplevels()) == 1;
    };
    // Two rounds of the frame's attack.
    for (int tick = 0; tick < 25; ++tick) {
        runFor(0.1);
        ASSERT_TRUE(noWindow());
    }

    script("document.getElementById('provider-button').click(); return true;");
    PopupSightings sightings;
    ASSERT_TRUE(runUntil([&] {
        sightings.look(*bridge, host->window());
        return bridge->loggedIn() && bridge->popups().empty();
    }));
    EXPECT_EQ(sightings.shown.size(), 1u);
    EXPECT_TRUE(sightings.allLookRight);

    // Signed in, the frame still runs in the hidden page.
    ASSERT_TRUE(runUntil(noWindow));
    for (int tick = 0; tick < 25; ++tick) {
        runFor(0.1);
        ASSERT_TRUE(noWindow());
    }
    EXPECT_EQ(service->count("hostile_frame_window"), 0);
    EXPECT_EQ(opened, std::vector<std::string>());
}

// The service ends the session; the page's own reload lands on a sign-in
// origin, where every script is refused. The home page, loaded once, leads
// there again: signed out, the sign-in view names that host, and the page
// is not reloaded again and again.
TEST_F(BridgeTest, aSessionEndedByTheServiceIsNoticedWhenHomeLeadsToSignIn) {
    GlibClock realTime; // the ten seconds between reloads are real ones
    startService({"--sign-in-redirect"});
    openBridge(&realTime, {service->storageOrigin()});
    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    EXPECT_EQ(bridge->signInHost(), "");

    service->endSessions();
    const int homeLoads = service->count("home");
    script("setTimeout(() => location.reload(), 0); return true;");
    ASSERT_TRUE(runUntil([&] { return !bridge->loggedIn(); }, 10));
    EXPECT_TRUE(bridge->sessionLost());
    EXPECT_EQ(bridge->signInHost(), "127.0.0.1");
    runFor(2);
    // The page's reload and the bridge's one.
    EXPECT_LE(service->count("home") - homeLoads, 2);
    EXPECT_LE(service->count("accounts_sign_in"), 2);
}

// A frame on the sign-in page sends the page to a look-alike of its own that
// stops every load, or to a blank page: from the same site with no click,
// or from another site after a click in it. The look-alike never runs as
// the page, and a second later the sign-in page is there.
TEST_F(FrameTest, aFrameNeverPutsItsOwnPageInTheMainView) {
    struct Case {
        const char* what;
        bool sameSite;
        const char* query;
    };
    for (const Case& c : std::initializer_list<Case>{
             {"same site, no click", true, "?to=page"},
             {"another site, a click", false, "?to=page&click=1"},
             {"another site, a click, blank", false, "?to=blank&click=1"},
         }) {
        SCOPED_TRACE(c.what);
        startService({"--hostile-sign-in"});
        openBridge();
        ASSERT_TRUE(waitForClient());
        const std::string frame = std::string("/hostile/frame-top") + c.query;
        placeFrame(c.sameSite ? sameSite(frame) : otherSite(frame));
        ASSERT_TRUE(runUntil([&] { return service->count("hostile_frame_top") > 0; }));
        runFor(0.5);
        if (!c.sameSite)
            clickInPage();
        runFor(1);
        EXPECT_EQ(bridge->committedOrigin(), service->webOrigin());
        EXPECT_TRUE(pageSays("window.takenOver === undefined"));
        EXPECT_TRUE(pageSays("document.getElementById('sign-in-form')"));
        if (std::string(c.query).find("page") != std::string::npos) {
            EXPECT_GT(service->count("hostile_takeover"), 0); // asked for, then refused
        }
        closeBridge();
    }
}

// A frame asks for a window on Orvo by window.open and by a form it submits
// to target=_blank: from the same site with no click, again and again, or
// from another site on a click in it. No window opens either way.
TEST_F(FrameTest, aFrameGetsNoWindowWithOrWithoutAClick) {
    for (const bool click : {false, true}) {
        SCOPED_TRACE(click ? "another site, a click" : "same site, no click");
        startService({"--hostile-sign-in"});
        openBridge();
        ASSERT_TRUE(waitForClient());
        const std::string frame =
            "/hostile/frame-open?web=" + service->webOrigin() + (click ? "&click=1" : "");
        placeFrame(click ? otherSite(frame) : sameSite(frame));
        ASSERT_TRUE(runUntil([&] { return service->count("hostile_frame_open") > 0; }));
        runFor(0.5);
        if (click)
            clickInPage();
        for (int tick = 0; tick < 20; ++tick) {
            runFor(0.1);
            ASSERT_TRUE(bridge->popups().empty());
            ASSERT_EQ(g_list_model_get_n_items(gtk_window_get_toplevels()), 1u);
        }
        closeBridge();
    }
}
