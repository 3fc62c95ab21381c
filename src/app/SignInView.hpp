#pragma once
#include "app/WebViewHost.hpp"

#include <gtkmm/box.h>

// Signing in: a banner that says what to do, over the live Orvo page. The
// page stays in this view in every state; when the banner is hidden the
// page shrinks to a speck behind whatever covers the window.
class SignInView : public Gtk::Box {
  public:
    static constexpr const char* title = "Sign in to your Orvo account";
    static constexpr const char* hint = "Google and email are the most reliable methods. This "
                                        "window closes automatically once you are signed in.";

    SignInView();

    // Shows the banner and the full-size page, or hides both.
    void setShown(bool shown);
    WebViewHost& host() { return host_; }

  private:
    Gtk::Box banner_;
    WebViewHost host_;
};
