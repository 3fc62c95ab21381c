#pragma once
#include "app/WebViewHost.hpp"
#include "model/Translation.hpp"

#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/label.h>

// Signing in: a banner that says what to do, over the live Orvo page. The
// page stays in this view in every state; when the banner is hidden the
// page shrinks to a speck behind whatever covers the window.
class SignInView : public Gtk::Box {
  public:
    static constexpr const char* title = N_("Sign in to your Orvo account");
    static constexpr const char* hint = N_("Google and email are the most reliable methods. "
                                           "This window closes automatically once you are "
                                           "signed in.");

    SignInView();

    static constexpr const char* unreachableText =
        N_("Can’t reach Orvo. Check your connection and try again.");
    static constexpr const char* lostNotice =
        N_("You were signed out of Orvo. Sign in again to continue.");

    // Shows the banner and the full-size page, or hides both.
    void setShown(bool shown);
    // The line above the page that says the sign-in was lost, or none.
    void setLostNotice(bool shown) { notice_.set_visible(shown); }
    bool lostNoticeShown() const { return notice_.get_visible(); }
    // Names the host of the sign-in page the page is on, when it is not on
    // Orvo's own site; empty hides the line.
    void setPageHost(const std::string& host);
    // Shows "Can’t reach Orvo" and its "Try Again" button in place of the
    // page, which stays in the window.
    void setUnreachable(bool unreachable);
    Glib::SignalProxy<void()> signalTryAgain() { return tryAgain_.signal_clicked(); }
    WebViewHost& host() { return host_; }

  private:
    Gtk::Box banner_;
    Gtk::Label& notice_;
    Gtk::Label& pageHost_;
    Gtk::Box unreachable_;
    Gtk::Button tryAgain_;
    WebViewHost host_;
};
