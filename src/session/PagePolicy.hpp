#pragma once
#include "model/Origins.hpp"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// What the Orvo page and its pop-ups may do with the user's screen: which
// addresses a page may show, where a navigation may lead and which requests
// for a new window get one. The page is not trusted: an ad, a captcha or an
// analytics frame on the sign-in page runs in it too, and none of them may
// put a window that looks like the app's own in front of the user.
//
// A page stays on the web origin and the sign-in origins: the main view
// and every pop-up commit no other document (judged at its response, which
// WebKit says is the page's own; frames may load from anywhere). A blank
// document is shown by a pop-up the user's click opened, never by the main
// view. A window opens only for the sign-in, on the user's gesture, asked
// for by a document on those origins (the one that asked: WebKit names it
// only by the request's Referer, so a request without one gets no window),
// while signed out, at most maxPopups at once, and only for a page on those
// origins (or a blank page, shown once it reaches them). A link the user
// clicked that leads elsewhere opens in the browser instead; everything
// else is ignored.
class PagePolicy {
  public:
    static constexpr std::size_t maxPopups = 2;

    enum class Verdict {
        allow,         // let it happen
        openInBrowser, // refuse it here, and hand the link to the browser
        frameOnly,     // let a frame go there, but not a page (refused at its response)
        ignore,        // refuse it
    };

    explicit PagePolicy(Origins origins) : origins_(std::move(origins)) {}

    // An address a pop-up may show: on the web origin or a sign-in origin,
    // or a blank document (about:blank, about:srcdoc), which loads nothing
    // from anywhere.
    bool pageMayShow(std::string_view address) const;
    // An address the main view may show: the service's alone. A blank
    // document there was put by a frame or a script, never by the app.
    bool mainViewMayShow(std::string_view address) const { return onServiceOrigin(address); }
    // On the web origin or a sign-in origin, with a host to name.
    bool onServiceOrigin(std::string_view address) const;

    // A navigation of a page or one of its frames (WebKit does not say
    // which). Signed out, a frame of the sign-in page may still load
    // another site; signed in, nothing goes elsewhere.
    Verdict navigation(std::string_view target, bool clickedLink, bool signedIn) const;

    struct WindowRequest {
        std::optional<std::string> openerOrigin; // of the document that asked
        std::string target;
        bool userGesture = false;
        bool clickedLink = false;
        bool signedIn = false;
        std::size_t open = 0; // pop-ups open now
    };
    Verdict window(const WindowRequest& request) const;

    // "Sign in — " and the host of the page a pop-up shows; "Sign in" alone
    // for a page without one (never shown as such: see pageMayShow).
    static std::string popupTitle(std::string_view address);
    // The host of an address, or empty.
    static std::string hostOf(std::string_view address);

  private:
    // The origin inside a blob: address, or the address itself.
    static std::string_view unwrapBlob(std::string_view address);
    static bool blank(std::string_view address);

    Origins origins_;
};
