#include "session/OrvoBridge.hpp"

#include "async/GlibClock.hpp"
#include "download/WebAddress.hpp"
#include "session/BridgeError.hpp"
#include "session/PageRendering.hpp"

#include <algorithm>
#include <coroutine>
#include <glib/gstdio.h>

// A window opened by the page (a sign-in provider, usually) and its view.
struct OrvoBridge::Popup {
    GObjectRef<WebKitWebView> view;
    std::unique_ptr<Gtk::Window> window; // goes first, taking the view out of it
    bool ready = false;                  // its page asked to be shown
};

// Waits for WebKit to remove all of a session's site data.
struct OrvoBridge::WebsiteDataCleared {
    WebKitWebsiteDataManager* manager;
    std::coroutine_handle<> waiting;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        waiting = handle;
        webkit_website_data_manager_clear(
            manager, WEBKIT_WEBSITE_DATA_ALL, 0, nullptr,
            [](GObject* source, GAsyncResult* result, gpointer self) {
                webkit_website_data_manager_clear_finish(WEBKIT_WEBSITE_DATA_MANAGER(source),
                                                         result, nullptr);
                static_cast<WebsiteDataCleared*>(self)->waiting.resume();
            },
            this);
    }
    void await_resume() const noexcept {}
};

// The service operations' runner: refuses at once when the committed
// document is not on the web origin, so no script of ours runs elsewhere.
class OrvoBridge::HomeRunner final : public ScriptRunner {
  public:
    explicit HomeRunner(OrvoBridge& bridge) : bridge_(bridge) {}
    Task<nlohmann::json> run(std::string script, ScriptArguments arguments) override {
        if (!bridge_.onWebOrigin())
            throw BridgeError(PageScriptService::notLoaded);
        co_return co_await bridge_.runner_.run(std::move(script), std::move(arguments));
    }

  private:
    OrvoBridge& bridge_;
};

OrvoBridge::OrvoBridge()
    : OrvoBridge(Origins::current(), std::make_unique<GlibClock>(), nullptr,
                 WebViewScriptRunner::defaultTimeout) {}

OrvoBridge::OrvoBridge(Origins origins, Clock& clock, double scriptTimeout)
    : OrvoBridge(std::move(origins), nullptr, &clock, scriptTimeout) {}

OrvoBridge::OrvoBridge(Origins origins, std::unique_ptr<Clock> ownClock, Clock* clock,
                       double scriptTimeout)
    : ownClock_(std::move(ownClock)), clock_(clock ? *clock : *ownClock_),
      origins_(std::move(origins)), policy_(origins_),
      webOrigin_(Origins::originOf(origins_.web).value_or(origins_.web)), view_(makeView()),
      webViewWidget_(Glib::wrap(GTK_WIDGET(view_.get()))), runner_(view_.get(), scriptTimeout),
      homeRunner_(std::make_unique<HomeRunner>(*this)),
      service_(*homeRunner_, origins_.api, webOrigin_) {
    watch(view_.get());
    g_signal_connect(view_.get(), "load-changed", G_CALLBACK(&OrvoBridge::onLoadChanged), this);
    g_signal_connect(view_.get(), "load-failed", G_CALLBACK(&OrvoBridge::onLoadFailed), this);
    // Pop-ups share the main page's session, so this sees their downloads too.
    g_signal_connect(webkit_web_view_get_network_session(view_.get()), "download-started",
                     G_CALLBACK(&OrvoBridge::onDownloadStarted), nullptr);
    service_.pageNotLoaded().connect([this] {
        // Signed out, the user may be on a sign-in origin. Signed in, the
        // home page comes back, but not in a loop should it keep leading
        // elsewhere.
        const double now = clock_.now();
        if (!loggedIn_ || (lastRefusedReload_ && now - *lastRefusedReload_ < refusedReloadInterval))
            return;
        lastRefusedReload_ = now;
        loadHome();
    });
    g_signal_connect(view_.get(), "web-process-terminated",
                     G_CALLBACK(&OrvoBridge::onWebProcessTerminated), this);
    loadHome();
    startDetached(monitorLogin(alive_));
}

void OrvoBridge::loadHome() {
    if (homeRequested_)
        return;
    homeRequested_ = true;
    webkit_web_view_load_uri(view_.get(), origins_.homePage().c_str());
}

// Shows the home page again once the page was refused somewhere, and asks
// for it again whenever no load is under way until a document of the
// service commits: a page that stops every load cannot keep it away.
void OrvoBridge::returnHome() {
    homeward_ = true;
    homeRequested_ = false;
    loadHome();
    if (homeRetry_)
        return;
    homeRetry_ = g_timeout_add(
        homeRetryMs,
        [](gpointer bridge) -> gboolean {
            auto& self = *static_cast<OrvoBridge*>(bridge);
            // Out of reach, the user's Try Again loads it.
            if (!self.homeward_ || self.unreachable_) {
                self.homeward_ = false;
                self.homeRetry_ = 0;
                return G_SOURCE_REMOVE;
            }
            if (!webkit_web_view_is_loading(self.view_.get())) {
                self.homeRequested_ = false;
                self.loadHome();
            }
            return G_SOURCE_CONTINUE;
        },
        this);
}

// WebKit says here, before a document commits, whether it is a page's own
// or a frame's: frames may load from anywhere (captchas, providers' buttons),
// the main view and the pop-ups only from the service.
gboolean OrvoBridge::decideResponse(WebKitWebView* view, WebKitResponsePolicyDecision* decision) {
    if (!webkit_response_policy_decision_is_main_frame_main_resource(decision))
        return FALSE;
    const char* uri =
        webkit_uri_response_get_uri(webkit_response_policy_decision_get_response(decision));
    const bool main = view == view_.get();
    if (uri && (main ? policy_.mainViewMayShow(uri) : policy_.pageMayShow(uri)))
        return FALSE;
    g_message("Refused to show a page away from Orvo: %s", uri ? uri : "(no address)");
    webkit_policy_decision_ignore(WEBKIT_POLICY_DECISION(decision));
    refused(view);
    return TRUE;
}

// The refused document never replaced the one shown; the main view goes
// home only when what it shows is not the service's (nothing yet, say).
void OrvoBridge::refused(WebKitWebView* view) {
    if (view == view_.get()) {
        if (!committedOrigin_ || !policy_.onServiceOrigin(*committedOrigin_))
            returnHome();
    } else if (const auto found = findPopup(view); found != popups_.end()) {
        discard(found);
    }
}

gboolean OrvoBridge::onDecidePolicy(WebKitWebView* view, WebKitPolicyDecision* decision,
                                    WebKitPolicyDecisionType type, gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE)
        return self.decideResponse(view, WEBKIT_RESPONSE_POLICY_DECISION(decision));
    WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(
        WEBKIT_NAVIGATION_POLICY_DECISION(decision));
    const std::string uri =
        webkit_uri_request_get_uri(webkit_navigation_action_get_request(action));
    const bool clicked = webkit_navigation_action_get_navigation_type(action) ==
                             WEBKIT_NAVIGATION_TYPE_LINK_CLICKED &&
                         webkit_navigation_action_is_user_gesture(action);
    // A new window is for `create` to decide, except a clicked link that
    // leads away, which belongs in the browser.
    const auto verdict =
        type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION
            ? self.policy_.window(
                  {.openerOrigin = std::nullopt, .target = uri, .clickedLink = clicked})
            : self.policy_.navigation(uri, clicked, self.loggedIn_);
    if (type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION &&
        verdict != PagePolicy::Verdict::openInBrowser)
        return FALSE;
    if (verdict == PagePolicy::Verdict::allow || verdict == PagePolicy::Verdict::frameOnly)
        return FALSE;
    webkit_policy_decision_ignore(decision);
    if (verdict == PagePolicy::Verdict::openInBrowser)
        self.openLink(uri);
    return TRUE;
}

void OrvoBridge::openLink(const std::string& uri) {
    if (linkOpener_)
        linkOpener_(uri);
    else
        g_message("Not opened, no browser at hand: %s", uri.c_str());
}

// What a document that commits without a response to judge (a blank one a
// frame put in the page, say) may show. Only once it has committed does the
// view's address name it: before, it may still be the old one.
void OrvoBridge::onPageLoad(WebKitWebView* view, WebKitLoadEvent event, gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    if (event != WEBKIT_LOAD_COMMITTED)
        return;
    const char* uri = webkit_web_view_get_uri(view);
    const bool main = view == self.view_.get();
    if (uri && (main ? self.policy_.mainViewMayShow(uri) : self.policy_.pageMayShow(uri)))
        return;
    g_message("Refused to show a page away from Orvo: %s", uri ? uri : "(no address)");
    if (main)
        self.returnHome();
    else if (const auto found = self.findPopup(view); found != self.popups_.end())
        self.discard(found);
}

void OrvoBridge::onDownloadStarted(WebKitNetworkSession*, WebKitDownload* download, gpointer) {
    // Cancelled before it has a destination; should WebKit still ask for
    // one, it gets none.
    g_signal_connect(download, "decide-destination",
                     G_CALLBACK(+[](WebKitDownload* download, gchar*, gpointer) -> gboolean {
                         webkit_download_cancel(download);
                         return TRUE;
                     }),
                     nullptr);
    webkit_download_cancel(download);
    g_message("Blocked a download from the Orvo page");
}

gboolean OrvoBridge::onLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error,
                                  gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    // Whatever it was, that load is no longer under way.
    self.homeRequested_ = false;
    // A refused navigation, a download or a newer load is not the site
    // being out of reach.
    const bool cancelled =
        error->domain == WEBKIT_POLICY_ERROR ||
        g_error_matches(error, WEBKIT_NETWORK_ERROR, WEBKIT_NETWORK_ERROR_CANCELLED) ||
        g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
    if (!cancelled && uri && Origins::originOf(uri) == self.webOrigin_)
        self.setUnreachable(true);
    return FALSE;
}

void OrvoBridge::setUnreachable(bool unreachable) {
    if (unreachable_ == unreachable)
        return;
    unreachable_ = unreachable;
    unreachableChanged_.emit();
}

void OrvoBridge::retry() {
    crashes_.clear();
    setUnreachable(false);
    homeRequested_ = false;
    loadHome();
}

void OrvoBridge::onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    if (event == WEBKIT_LOAD_COMMITTED) {
        const char* uri = webkit_web_view_get_uri(view);
        self.committedOrigin_ = uri ? Origins::originOf(uri) : std::nullopt;
        ++self.documents_;
        if (uri && self.policy_.mainViewMayShow(uri))
            self.homeward_ = false;
        // The home page sent a signed-in page to sign in again: the
        // service has ended the session.
        if (self.homeRequested_ && self.loggedIn_ && uri && !self.onWebOrigin() &&
            self.policy_.onServiceOrigin(uri))
            self.setLoggedIn(false, true);
        self.pageChanged_.emit();
    }
    if (event == WEBKIT_LOAD_COMMITTED || event == WEBKIT_LOAD_FINISHED)
        self.homeRequested_ = false;
}

OrvoBridge::~OrvoBridge() {
    *alive_ = false;
    if (reload_)
        g_source_remove(reload_);
    if (homeRetry_)
        g_source_remove(homeRetry_);
    g_signal_handlers_disconnect_by_data(view_.get(), this);
    for (const auto& popup : popups_)
        g_signal_handlers_disconnect_by_data(popup->view.get(), this);
}

std::string OrvoBridge::signInHost() const {
    const char* uri = webkit_web_view_get_uri(view_.get());
    if (!uri || onWebOrigin() || !committedOrigin_ || !policy_.onServiceOrigin(uri))
        return {};
    return PagePolicy::hostOf(uri);
}

std::string OrvoBridge::dataFolder() {
    return std::string(g_get_user_data_dir()) + "/OrvoWavDownloader/web";
}

std::string OrvoBridge::cacheFolder() {
    return std::string(g_get_user_cache_dir()) + "/OrvoWavDownloader/web";
}

GObjectRef<WebKitWebView> OrvoBridge::makeView() {
    const std::string data = dataFolder();
    const std::string cache = cacheFolder();
    // Private whatever an earlier version or another program left them as.
    for (const auto& folder : {data, cache}) {
        g_mkdir_with_parents(folder.c_str(), 0700);
        g_chmod(folder.c_str(), 0700);
    }
    PageRendering::limitNetworkProcess();
    const GObjectRef<WebKitNetworkSession> session(
        webkit_network_session_new(data.c_str(), cache.c_str()));
    // A password typed into an HTTP authentication prompt is not kept.
    webkit_network_session_set_persistent_credential_storage_enabled(session.get(), FALSE);
    // Even a persistent session keeps cookies in memory only unless told
    // where to store them, and it must be told before the first load.
    const std::string cookies = data + "/cookies.sqlite";
    webkit_cookie_manager_set_persistent_storage(
        webkit_network_session_get_cookie_manager(session.get()), cookies.c_str(),
        WEBKIT_COOKIE_PERSISTENT_STORAGE_SQLITE);

    const GObjectRef<WebKitSettings> settings(webkit_settings_new());
    webkit_settings_set_user_agent(settings.get(), userAgent);
    webkit_settings_set_javascript_can_open_windows_automatically(settings.get(), TRUE);
    webkit_settings_set_enable_back_forward_navigation_gestures(settings.get(), TRUE);
    PageRendering::apply(settings.get());

    auto* view = g_object_new(WEBKIT_TYPE_WEB_VIEW, "web-context", PageRendering::webContext(),
                              "network-session", session.get(), "settings", settings.get(),
                              nullptr);
    return GObjectRef<WebKitWebView>(WEBKIT_WEB_VIEW(g_object_ref_sink(view)));
}

void OrvoBridge::watch(WebKitWebView* view) {
    g_signal_connect(view, "create", G_CALLBACK(&OrvoBridge::onCreate), this);
    g_signal_connect(view, "ready-to-show", G_CALLBACK(&OrvoBridge::onReadyToShow), this);
    g_signal_connect(view, "close", G_CALLBACK(&OrvoBridge::onClose), this);
    g_signal_connect(view, "decide-policy", G_CALLBACK(&OrvoBridge::onDecidePolicy), this);
    g_signal_connect(view, "load-changed", G_CALLBACK(&OrvoBridge::onPageLoad), this);
}

std::vector<std::unique_ptr<OrvoBridge::Popup>>::iterator
OrvoBridge::findPopup(WebKitWebView* view) {
    return std::find_if(popups_.begin(), popups_.end(),
                        [view](const auto& popup) { return popup->view.get() == view; });
}

std::vector<Gtk::Window*> OrvoBridge::popups() const {
    std::vector<Gtk::Window*> windows;
    for (const auto& popup : popups_)
        windows.push_back(popup->window.get());
    return windows;
}

// Probes the page every interval for as long as the bridge lives: until it
// is signed in, and then for a lost sign-in. A "not signed in" counts as
// lost only from the page on the web origin whose client has loaded, so a
// page that is reloading is not taken for signed out.
Task<void> OrvoBridge::monitorLogin(std::shared_ptr<const bool> alive) {
    for (;;) {
        bool signedIn = false;
        try {
            signedIn = co_await service_.isLoggedIn();
        } catch (const std::exception&) {
            // The page is still loading, or navigating: no answer yet.
        }
        if (!*alive)
            co_return;
        if (signedIn && documents_ < signedOutFrom_)
            signedIn = false; // the page from before signing out
        if (signedIn != loggedIn_) {
            bool answered = signedIn;
            if (!signedIn) {
                answered = co_await service_.clientLoaded();
                if (!*alive)
                    co_return;
            }
            if (answered)
                setLoggedIn(signedIn, !signedIn);
        }
        co_await clock_.pause(probeInterval);
        if (!*alive)
            co_return;
    }
}

void OrvoBridge::setLoggedIn(bool loggedIn, bool lost) {
    sessionLost_ = !loggedIn && lost;
    if (loggedIn_ == loggedIn)
        return;
    loggedIn_ = loggedIn;
    loggedInChanged_.emit();
}

Task<FeedPage> OrvoBridge::feedPage(std::optional<std::string> cursor) {
    try {
        co_return co_await service_.feedPage(std::move(cursor));
    } catch (const BridgeError& error) {
        // The service turned the page's token away: its sign-in is over.
        if (error.message() == "Feed HTTP 401" && loggedIn_)
            setLoggedIn(false, true);
        throw;
    }
}

Task<void> OrvoBridge::signOut() {
    // A pop-up on Orvo holds the session in memory and could store it again.
    while (!popups_.empty())
        discard(popups_.begin());
    signedOutFrom_ = documents_ + 1;
    setLoggedIn(false, false);
    WebKitWebsiteDataManager* data = webkit_network_session_get_website_data_manager(
        webkit_web_view_get_network_session(view_.get()));
    WebsiteDataCleared cleared{data};
    co_await cleared;
    homeRequested_ = false;
    loadHome();
}

GtkWidget* OrvoBridge::onCreate(WebKitWebView* opener, WebKitNavigationAction* action,
                                gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    WebKitURIRequest* request = webkit_navigation_action_get_request(action);
    const std::string target = webkit_uri_request_get_uri(request);
    // The document that asked, which may be a frame's rather than the
    // opener's page: WebKit names it only in the Referer it sends. Without
    // one (a "no-referrer" policy, a blank target) no window opens.
    SoupMessageHeaders* headers = webkit_uri_request_get_http_headers(request);
    const char* referer = headers ? soup_message_headers_get_one(headers, "Referer") : nullptr;
    const auto verdict =
        self.policy_.window({.openerOrigin = referer ? Origins::originOf(referer) : std::nullopt,
                             .target = target,
                             .userGesture = bool(webkit_navigation_action_is_user_gesture(action)),
                             .clickedLink = webkit_navigation_action_get_navigation_type(action) ==
                                                WEBKIT_NAVIGATION_TYPE_LINK_CLICKED &&
                                            webkit_navigation_action_is_user_gesture(action),
                             .signedIn = self.loggedIn_,
                             .open = self.popups_.size()});
    if (verdict == PagePolicy::Verdict::openInBrowser)
        self.openLink(target);
    if (verdict != PagePolicy::Verdict::allow) {
        g_debug("Refused a window the Orvo page asked for: %s", target.c_str());
        return nullptr;
    }
    // A new window's view must be related to its opener (WebKit aborts
    // otherwise) and does not inherit its settings, so it gets the opener's
    // settings object, user agent included.
    auto* view =
        WEBKIT_WEB_VIEW(g_object_new(WEBKIT_TYPE_WEB_VIEW, "related-view", opener, "settings",
                                     webkit_web_view_get_settings(opener), nullptr));
    auto popup = std::make_unique<Popup>();
    // Ours from here on, so a pop-up that closes before it is shown is freed
    // with its record; the window takes a reference of its own later.
    popup->view = GObjectRef<WebKitWebView>(WEBKIT_WEB_VIEW(g_object_ref_sink(view)));
    popup->window = std::make_unique<Gtk::Window>();
    popup->window->set_title(PagePolicy::popupTitle(target));
    popup->window->set_default_size(popupWidth, popupHeight);
    popup->window->set_resizable(true);
    GtkRoot* root = gtk_widget_get_root(GTK_WIDGET(self.view_.get()));
    if (root && GTK_IS_WINDOW(root))
        popup->window->set_transient_for(*Glib::wrap(GTK_WINDOW(root)));
    // Closed by the user: gone at once, its page with it.
    Gtk::Window* window = popup->window.get();
    popup->window->signal_close_request().connect(
        [&self, window] {
            const auto found =
                std::find_if(self.popups_.begin(), self.popups_.end(),
                             [window](const auto& popup) { return popup->window.get() == window; });
            if (found != self.popups_.end())
                self.discard(found);
            return true;
        },
        false);
    g_signal_connect(view, "notify::uri",
                     G_CALLBACK(+[](WebKitWebView* view, GParamSpec*, gpointer bridge) {
                         static_cast<OrvoBridge*>(bridge)->showPopup(view);
                     }),
                     &self);
    self.watch(view);
    self.popups_.push_back(std::move(popup));
    return GTK_WIDGET(view);
}

void OrvoBridge::onReadyToShow(WebKitWebView* view, gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    const auto found = self.findPopup(view);
    if (found == self.popups_.end())
        return;
    (*found)->ready = true;
    (*found)->window->set_child(*Glib::wrap(GTK_WIDGET(view)));
    self.showPopup(view);
}

// A pop-up is on screen only while its page is on the service, titled with
// that page's host: a blank window someone wrote a form into never shows.
void OrvoBridge::showPopup(WebKitWebView* view) {
    const auto found = findPopup(view);
    if (found == popups_.end() || !(*found)->ready)
        return;
    const char* uri = webkit_web_view_get_uri(view);
    Gtk::Window& window = *(*found)->window;
    if (uri && policy_.onServiceOrigin(uri)) {
        window.set_title(PagePolicy::popupTitle(uri));
        if (!window.get_visible())
            window.present();
    } else {
        window.set_visible(false);
    }
}

void OrvoBridge::onClose(WebKitWebView* view, gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    const auto found = self.findPopup(view);
    if (found == self.popups_.end())
        return; // the main page cannot close itself
    self.discard(found);
}

void OrvoBridge::discard(std::vector<std::unique_ptr<Popup>>::iterator found) {
    std::unique_ptr<Popup> popup = std::move(*found);
    popups_.erase(found);
    g_signal_handlers_disconnect_by_data(popup->view.get(), this);
    // Hidden once the callback that asked for it has returned, then discarded.
    g_idle_add_full(
        G_PRIORITY_DEFAULT_IDLE,
        [](gpointer closed) -> gboolean {
            static_cast<Popup*>(closed)->window->hide();
            return G_SOURCE_REMOVE;
        },
        popup.release(), [](gpointer closed) { delete static_cast<Popup*>(closed); });
}

void OrvoBridge::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                        gpointer bridge) {
    auto& self = *static_cast<OrvoBridge*>(bridge);
    self.committedOrigin_.reset(); // the document went with the process
    if (self.reload_ || self.unreachable_)
        return;
    // A page that crashes whenever it is loaded is not loaded forever.
    const double now = self.clock_.now();
    std::erase_if(self.crashes_, [now](double at) { return now - at >= reloadWindow; });
    self.crashes_.push_back(now);
    if (int(self.crashes_.size()) > maxReloads) {
        self.setUnreachable(true);
        return;
    }
    // Loaded once WebKit's signal has returned and the process is gone; the
    // script runner has already failed the calls that were waiting on it.
    self.reload_ = g_idle_add(
        [](gpointer bridge) -> gboolean {
            auto& self = *static_cast<OrvoBridge*>(bridge);
            self.reload_ = 0;
            self.homeRequested_ = false;
            self.loadHome();
            return G_SOURCE_REMOVE;
        },
        &self);
}
