#include "app/WebViewHost.hpp"

#include "ui/Accessibility.hpp"

#include <gtkmm/root.h>

WebViewHost::WebViewHost() {
    set_name("webViewHost");
    Accessibility::setLabel(*this, "Orvo sign-in page");
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
    Accessibility::setLabel(webView, "Orvo sign-in page");
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
    // Out of sight, the page takes no clicks and no keyboard focus, and is
    // not offered to screen readers.
    set_can_target(fullSize);
    set_can_focus(fullSize);
    Accessibility::setHidden(*this, !fullSize);
    if (!fullSize)
        if (auto* root = get_root(); root && root->get_focus() && root->get_focus()->is_ancestor(*this))
            root->unset_focus();
    set_overflow(Gtk::Overflow::HIDDEN);
    if (webView_) {
        webView_->set_size_request(side, side);
        webView_->set_hexpand(fullSize);
        webView_->set_vexpand(fullSize);
        webView_->set_can_focus(fullSize);
    }
}
