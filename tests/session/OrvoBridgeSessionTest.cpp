// The web session against the stand-in service: sign-in detection, the
// stored session, pop-up windows and the user agent.
#include "BridgeTesting.hpp"

#include <filesystem>
#include <libsoup/soup.h>
#include <map>
#include <set>

namespace {

using webtest::BridgeTest;
using webtest::runFor;
using webtest::runUntil;

// Visible toplevel windows with this title.
int visibleWindowsTitled(const char* title) {
    GListModel* toplevels = gtk_window_get_toplevels();
    int count = 0;
    for (guint i = 0; i < g_list_model_get_n_items(toplevels); ++i) {
        const GObjectRef<GtkWindow> window(GTK_WINDOW(g_list_model_get_item(toplevels, i)));
        const char* current = gtk_window_get_title(window.get());
        if (current && std::string(current) == title &&
            gtk_widget_get_visible(GTK_WIDGET(window.get())))
            ++count;
    }
    return count;
}

// What every pop-up window looked like while it was open.
struct PopupSightings {
    std::size_t mostAtOnce = 0;
    std::set<Gtk::Window*> seen;
    bool allLookRight = true;

    void look(OrvoBridge& bridge, Gtk::Window& mainWindow) {
        const auto popups = bridge.popups();
        mostAtOnce = std::max(mostAtOnce, popups.size());
        for (Gtk::Window* popup : popups) {
            seen.insert(popup);
            int width = 0, height = 0;
            popup->get_default_size(width, height);
            allLookRight = allLookRight && popup->get_title() == "Sign in" &&
                           width == OrvoBridge::popupWidth && height == OrvoBridge::popupHeight &&
                           popup->get_transient_for() == &mainWindow;
        }
    }
};

} // namespace

TEST_F(BridgeTest, monitorReportsSignInOnlyAfterThePageSignsInThenStopsProbing) {
    startService({"--clerk-delay", "3000"});
    openBridge();
    int changes = 0;
    bridge->loggedInChanged().connect([&] { ++changes; });

    // The sign-in client arrives late (3 s): the monitor keeps probing meanwhile.
    ASSERT_TRUE(runUntil([&] { return clock.pauses().size() >= 4; }));
    EXPECT_EQ(tryScript("return typeof window.Clerk;"), "undefined");
    EXPECT_FALSE(bridge->loggedIn());

    // Loaded but signed out: still probing, still not signed in.
    ASSERT_TRUE(waitForClient());
    const auto probesWithClient = clock.pauses().size();
    ASSERT_TRUE(runUntil([&] { return clock.pauses().size() >= probesWithClient + 3; }));
    EXPECT_FALSE(bridge->loggedIn());
    EXPECT_EQ(changes, 0);

    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    EXPECT_EQ(changes, 1);
    for (const double pause : clock.pauses())
        EXPECT_EQ(pause, OrvoBridge::probeInterval);

    // No probe after that: at a probe every 15 ms, this is many intervals.
    const auto probesAtSignIn = clock.pauses().size();
    runFor(0.5);
    EXPECT_EQ(clock.pauses().size(), probesAtSignIn);
    EXPECT_TRUE(bridge->loggedIn());
    EXPECT_EQ(changes, 1);

    // A close request from the main page changes nothing.
    script("window.close(); return true;");
    runFor(0.2);
    EXPECT_EQ(script("return !!window.Clerk;"), true);
    EXPECT_TRUE(bridge->popups().empty());
    EXPECT_TRUE(host->window().get_visible());
}

TEST_F(BridgeTest, newBridgeOnTheSameProfileFindsTheStoredSessionWithoutUserAction) {
    startService();
    openBridge();
    signInWithForm();
    ASSERT_TRUE(waitForSignIn());
    closeBridge();
    EXPECT_TRUE(std::filesystem::exists(OrvoBridge::dataFolder() + "/cookies.sqlite"));

    openBridge();
    EXPECT_FALSE(bridge->loggedIn());
    ASSERT_TRUE(waitForSignIn());
    EXPECT_EQ(service->counters()["routes"].value("sign_in", 0), 1);
}

namespace {

class PopupTest : public BridgeTest {
  protected:
    // Clicks a button of the home page, then watches the pop-ups until the
    // sign-in is detected, they have left `popups` and their windows are
    // hidden (once the close callback has returned).
    PopupSightings signInThrough(const std::string& button) {
        startService({"--provider-delay", "400"});
        openBridge();
        EXPECT_TRUE(waitForClient());
        script("document.getElementById('" + button + "').click(); return true;");
        PopupSightings sightings;
        EXPECT_TRUE(runUntil([&] {
            sightings.look(*bridge, host->window());
            return bridge->loggedIn() && bridge->popups().empty();
        }));
        EXPECT_TRUE(runUntil([] { return visibleWindowsTitled("Sign in") == 0; }));
        return sightings;
    }
};

} // namespace

TEST_F(PopupTest, providerPopupSignsInAndLeavesWhenItsPageClosesIt) {
    const auto sightings = signInThrough("provider-button");
    EXPECT_EQ(sightings.mostAtOnce, 1u);
    EXPECT_TRUE(sightings.allLookRight);
    EXPECT_EQ(service->counters()["routes"].value("provider_sign_in", 0), 1);
}

TEST_F(PopupTest, popupOpenedFromAPopupGetsTheSameTreatment) {
    const auto sightings = signInThrough("chooser-button");
    EXPECT_EQ(sightings.mostAtOnce, 2u);
    EXPECT_EQ(sightings.seen.size(), 2u);
    EXPECT_TRUE(sightings.allLookRight);
}

namespace {

// A site of our own that remembers the user agent of every request, to see
// what a server receives from the main page and from pop-ups.
class UserAgentRecorder {
  public:
    UserAgentRecorder() {
        server_.reset(soup_server_new(nullptr, nullptr));
        soup_server_add_handler(server_.get(), nullptr, &UserAgentRecorder::handle, this, nullptr);
        GError* error = nullptr;
        if (!soup_server_listen_local(server_.get(), 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error))
            throw std::runtime_error(error->message);
        GSList* uris = soup_server_get_uris(server_.get());
        origin_ =
            "http://127.0.0.1:" + std::to_string(g_uri_get_port(static_cast<GUri*>(uris->data)));
        g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    }
    const std::string& origin() const { return origin_; }
    std::map<std::string, std::string> userAgents;

  private:
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                       gpointer self) {
        const char* agent = soup_message_headers_get_one(
            soup_server_message_get_request_headers(message), "User-Agent");
        static_cast<UserAgentRecorder*>(self)->userAgents[path] = agent ? agent : "";
        // The first pop-up opens the second as soon as it loads.
        const std::string page = std::string(path) == "/popup"
                                     ? "<p>popup</p><script>window.open('/nested');</script>"
                                     : "<p>page</p>";
        soup_server_message_set_status(message, 200, nullptr);
        soup_server_message_set_response(message, "text/html", SOUP_MEMORY_COPY, page.data(),
                                         page.size());
    }

    GObjectRef<SoupServer> server_;
    std::string origin_;
};

} // namespace

TEST_F(BridgeTest, serverReceivesExactlyTheFixedUserAgentFromThePageAndItsPopups) {
    UserAgentRecorder site;
    bridge = std::make_unique<OrvoBridge>(Origins{site.origin(), site.origin(), site.origin()},
                                          clock, 15);
    host = std::make_unique<webtest::HostWindow>(bridge->webView());
    ASSERT_TRUE(runUntil([&] { return site.userAgents.contains("/"); }));
    ASSERT_TRUE(runUntil([&] { return !webkit_web_view_is_loading(bridge->webKitView()); }));
    script("window.open('/popup'); return true;");
    ASSERT_TRUE(runUntil([&] { return site.userAgents.contains("/nested"); }));

    EXPECT_EQ(site.userAgents["/"], OrvoBridge::userAgent);
    EXPECT_EQ(site.userAgents["/popup"], OrvoBridge::userAgent);
    EXPECT_EQ(site.userAgents["/nested"], OrvoBridge::userAgent);
    EXPECT_EQ(script("return navigator.userAgent;"), OrvoBridge::userAgent);
    EXPECT_EQ(bridge->popups().size(), 2u);
}
