#pragma once
#include "async/Clock.hpp"
#include "async/GLibRef.hpp"
#include "model/Origins.hpp"
#include "session/OrvoService.hpp"
#include "session/PagePolicy.hpp"
#include "session/PageScriptService.hpp"
#include "session/WebViewScriptRunner.hpp"

#include <functional>
#include <gtkmm/widget.h>
#include <gtkmm/window.h>
#include <memory>
#include <sigc++/signal.h>
#include <vector>
#include <webkit/webkit.h>

// The one embedded Orvo page. It keeps the site's cookies and data in the
// app's own profile, so a sign-in survives a restart, lets the user sign in
// (pop-up sign-in windows included), notices when the page holds a session,
// and runs the service operations as scripts inside the page.
//
// Should the page's web process end (a crash, say), the home page is loaded
// again, at most maxReloads times within reloadWindow seconds: the profile
// keeps the sign-in, so the next operation finds the signed-in page once
// more. A page that keeps crashing, or a home page that cannot be loaded
// at all (no network), makes the bridge unreachable() until retry().
//
// The service operations run only while the page's committed document is on
// the web origin (and each script checks location.origin again); elsewhere
// they refuse, and a signed-in bridge loads the home page (at most once
// every refusedReloadInterval seconds). Should that home page lead to a
// sign-in origin, the service has ended the session: signed out. No page,
// the main one or a pop-up, may download anything: WebKit's downloads are
// all cancelled before they write a byte. The app's own WAV files are
// fetched natively, not through the page. The page and its pop-ups stay on
// the service's own origins: a document from elsewhere is refused at its
// response, before it runs, whoever sent the page there (a frame, say), and
// a main view left showing nothing of the service asks for the home page
// until it is back. Pop-ups open only for signing in (see PagePolicy); a
// link the user clicked that leads elsewhere is handed to the link opener
// the app gives.
//
// Main thread only; GTK must be initialised first. The app creates one and
// keeps it for the whole run.
class OrvoBridge final : public OrvoService {
  public:
    // Sent by the main page and every pop-up: the site sees a desktop Safari.
    static constexpr const char* userAgent =
        "Mozilla/5.0 (Macintosh; Intel Mac OS X 10_15_7) AppleWebKit/605.1.15 "
        "(KHTML, like Gecko) Version/18.5 Safari/605.1.15";
    static constexpr double probeInterval = 1.5;
    static constexpr int popupWidth = 560;
    static constexpr int popupHeight = 680;
    static constexpr int maxReloads = 3;
    static constexpr double reloadWindow = 60;
    static constexpr double refusedReloadInterval = 10;
    // How often the home page is asked for again after the page was refused.
    static constexpr guint homeRetryMs = 200;

    // The app's bridge: the configured origins, the main loop's clock.
    OrvoBridge();
    // For tests: explicit origins, a clock for the sign-in probe's pauses and
    // the time after which an unsettled page script fails.
    OrvoBridge(Origins origins, Clock& clock,
               double scriptTimeout = WebViewScriptRunner::defaultTimeout);
    ~OrvoBridge() override;
    OrvoBridge(const OrvoBridge&) = delete;
    OrvoBridge& operator=(const OrvoBridge&) = delete;

    // True while the page holds a signed-in session. It turns false again
    // when the sign-in is lost (signed out in the page or by the service,
    // or the feed answers 401) or on signOut().
    bool loggedIn() const { return loggedIn_; }
    // Emitted on the main thread when loggedIn() changes.
    sigc::signal<void()>& loggedInChanged() { return loggedInChanged_; }
    // The sign-in was lost behind the app's back (not through signOut());
    // false again once signed in.
    bool sessionLost() const { return sessionLost_; }

    // The page cannot be shown: it crashed more than maxReloads times within
    // reloadWindow seconds, or the home page failed to load.
    bool unreachable() const { return unreachable_; }
    sigc::signal<void()>& unreachableChanged() { return unreachableChanged_; }
    // Loads the home page afresh (Try Again, Reload Orvo Page).
    void retry();

    // Closes every pop-up, removes all of the page's site data (cookies,
    // storage, caches), so the sign-in is gone, and shows the home page
    // signed out.
    Task<void> signOut();

    // The page, for the app to place in its window. Pop-ups open over the
    // window that holds it.
    Gtk::Widget& webView() { return *webViewWidget_; }
    WebKitWebView* webKitView() const { return view_.get(); }

    // The open pop-up windows, oldest first. Each is titled "Sign in — " and
    // the host of its page; closed by its page or by the user, it is gone.
    std::vector<Gtk::Window*> popups() const;

    // Runs any script in the main page, wherever it is; the service
    // operations go through a runner that first checks the page's origin.
    ScriptRunner& runner() { return runner_; }
    // The origin of the main page's committed document, if any.
    const std::optional<std::string>& committedOrigin() const { return committedOrigin_; }

    // The host of the sign-in origin the page is on, or empty on the web
    // site (or anywhere else); pageChanged() tells when it may have changed.
    std::string signInHost() const;
    sigc::signal<void()>& pageChanged() { return pageChanged_; }

    // Opens a link the user clicked away from the service (in the browser,
    // as the app decides); without one such links are dropped.
    void setLinkOpener(std::function<void(const std::string&)> opener) {
        linkOpener_ = std::move(opener);
    }

    // Where the page's profile lives.
    static std::string dataFolder();
    static std::string cacheFolder();

    Task<bool> isLoggedIn() override { return service_.isLoggedIn(); }
    Task<FeedPage> feedPage(std::optional<std::string> cursor) override;
    Task<void> convertWav(std::string id) override { return service_.convertWav(std::move(id)); }
    Task<void> triggerMP3Download(std::string id) override {
        return service_.triggerMP3Download(std::move(id));
    }
    Task<std::optional<std::string>> wavURL(std::string id) override {
        return service_.wavURL(std::move(id));
    }

  private:
    struct Popup;
    class HomeRunner;
    struct WebsiteDataCleared;

    OrvoBridge(Origins origins, std::unique_ptr<Clock> ownClock, Clock* clock,
               double scriptTimeout);
    static GObjectRef<WebKitWebView> makeView();
    Task<void> monitorLogin(std::shared_ptr<const bool> alive);
    void setLoggedIn(bool loggedIn, bool lost);
    void watch(WebKitWebView* view);
    bool onWebOrigin() const { return committedOrigin_ && *committedOrigin_ == webOrigin_; }
    void loadHome();
    void returnHome();
    gboolean decideResponse(WebKitWebView* view, WebKitResponsePolicyDecision* decision);
    void refused(WebKitWebView* view);

    // Takes a pop-up out of the list at once; its window goes once the
    // current callback has returned.
    void discard(std::vector<std::unique_ptr<Popup>>::iterator popup);

    std::vector<std::unique_ptr<Popup>>::iterator findPopup(WebKitWebView* view);
    void showPopup(WebKitWebView* view);
    void openLink(const std::string& uri);

    static GtkWidget* onCreate(WebKitWebView* opener, WebKitNavigationAction*, gpointer bridge);
    static void onReadyToShow(WebKitWebView* view, gpointer bridge);
    static void onClose(WebKitWebView* view, gpointer bridge);
    static gboolean onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                   WebKitPolicyDecisionType type, gpointer bridge);
    static void onDownloadStarted(WebKitNetworkSession*, WebKitDownload* download, gpointer);
    static gboolean onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                 gpointer bridge);
    void setUnreachable(bool unreachable);
    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer bridge);
    static void onPageLoad(WebKitWebView* view, WebKitLoadEvent event, gpointer bridge);
    static void onWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason,
                                       gpointer bridge);

    std::unique_ptr<Clock> ownClock_;
    Clock& clock_;
    Origins origins_;
    PagePolicy policy_;
    std::string webOrigin_; // as location.origin reads it
    bool loggedIn_ = false;
    bool sessionLost_ = false;
    bool unreachable_ = false;
    sigc::signal<void()> unreachableChanged_;
    std::vector<double> crashes_; // when the page's process ended lately
    std::optional<double> lastRefusedReload_;
    sigc::signal<void()> pageChanged_;
    sigc::signal<void()> loggedInChanged_;
    GObjectRef<WebKitWebView> view_;
    Gtk::Widget* webViewWidget_;
    WebViewScriptRunner runner_;
    std::optional<std::string> committedOrigin_;
    bool homeRequested_ = false; // a load of the home page is under way
    bool homeward_ = false;      // refused: home is asked for until the service commits
    guint homeRetry_ = 0;
    std::uint64_t documents_ = 0; // committed so far
    // Signing out: the page's "signed in" counts only from this document on.
    std::uint64_t signedOutFrom_ = 0;
    std::unique_ptr<HomeRunner> homeRunner_;
    PageScriptService service_;
    std::vector<std::unique_ptr<Popup>> popups_;
    std::function<void(const std::string&)> linkOpener_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
    guint reload_ = 0; // the pending reload after the page's process ended
};
