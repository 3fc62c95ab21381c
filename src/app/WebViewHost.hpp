#pragma once
#include <gtkmm/box.h>

// Holds the bridge's one web view in the window. The view is never
// created, configured or loaded here; the host only shows it full size
// (while the user signs in) or keeps it attached but practically invisible
// (2 × 2 at 2 % opacity), so the page and its scripts go on running.
class WebViewHost : public Gtk::Box {
  public:
    static constexpr int hiddenSide = 2;
    static constexpr double hiddenOpacity = 0.02;

    WebViewHost();
    ~WebViewHost() override;

    // Places the page; the window is drawn before the page exists.
    void setWebView(Gtk::Widget& webView);
    void setFullSize(bool fullSize);
    bool fullSize() const { return fullSize_; }
    Gtk::Widget* webView() { return webView_; }

  private:
    Gtk::Widget* webView_ = nullptr;
    bool fullSize_ = true;
};
