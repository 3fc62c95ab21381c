#include "app/WebViewHost.hpp"

WebViewHost::WebViewHost() {
    set_name("webViewHost");
    setFullSize(true);
}

WebViewHost::~WebViewHost() {
    // The bridge owns the view and outlives the window.
    if (webView_ && webView_->get_parent() == this)
        remove(*webView_);
}

void WebViewHost::setWebView(Gtk::Widget& webView) {
    if (webView_)
        return;
    webView_ = &webView;
    append(webView);
    setFullSize(fullSize_);
}

void WebViewHost::setFullSize(bool fullSize) {
    fullSize_ = fullSize;
    const int side = fullSize ? -1 : hiddenSide;
    set_hexpand(fullSize);
    set_vexpand(fullSize);
    set_halign(fullSize ? Gtk::Align::FILL : Gtk::Align::START);
    set_valign(fullSize ? Gtk::Align::FILL : Gtk::Align::START);
    set_size_request(side, side);
    set_opacity(fullSize ? 1.0 : hiddenOpacity);
    // Out of sight, the page takes no clicks and no keyboard focus.
    set_can_target(fullSize);
    set_overflow(Gtk::Overflow::HIDDEN);
    if (webView_) {
        webView_->set_size_request(side, side);
        webView_->set_hexpand(fullSize);
        webView_->set_vexpand(fullSize);
        webView_->set_can_focus(fullSize);
    }
}
