#include "app/SignInView.hpp"

#include "model/Translation.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/LogoMark.hpp"
#include "ui/PanelWidgets.hpp"

SignInView::SignInView()
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0), banner_(Gtk::Orientation::HORIZONTAL, 10),
      notice_(*PanelWidgets::label("size-12 bold text-primary", _(lostNotice))),
      pageHost_(*PanelWidgets::label("size-12 text-secondary", "")),
      unreachable_(Gtk::Orientation::VERTICAL, 12), tryAgain_(_("Try Again")) {
    set_name("signInView");
    banner_.set_name("signInBanner");
    banner_.add_css_class("banner");
    banner_.append(*logoMark(30));
    auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
    texts->set_valign(Gtk::Align::CENTER);
    texts->append(*PanelWidgets::label("size-15 bold text-primary", _(title)));
    auto* hintLabel = PanelWidgets::label("size-12 text-secondary", _(hint));
    hintLabel->set_wrap(true);
    texts->append(*hintLabel);
    texts->set_hexpand(true);
    banner_.append(*texts);
    append(banner_);
    notice_.set_name("signInLostNotice");
    notice_.set_wrap(true);
    notice_.set_margin(8);
    notice_.set_visible(false);
    append(notice_);
    // Says where a sign-in page outside Orvo's own site comes from, the
    // way a browser's address bar would.
    pageHost_.set_name("signInPageHost");
    pageHost_.set_margin_start(8);
    pageHost_.set_margin_bottom(4);
    pageHost_.set_xalign(0);
    pageHost_.set_selectable(true);
    pageHost_.set_visible(false);
    append(pageHost_);
    unreachable_.set_name("signInUnreachable");
    unreachable_.set_valign(Gtk::Align::CENTER);
    unreachable_.set_halign(Gtk::Align::CENTER);
    unreachable_.set_vexpand(true);
    auto* text = PanelWidgets::label("size-15 bold text-primary", _(unreachableText));
    text->set_wrap(true);
    unreachable_.append(*text);
    tryAgain_.set_name("tryAgain");
    tryAgain_.set_halign(Gtk::Align::CENTER);
    PrimaryButtonStyle::apply(tryAgain_);
    unreachable_.append(tryAgain_);
    unreachable_.set_visible(false);
    append(unreachable_);
    append(host_);
}

void SignInView::setShown(bool shown) {
    banner_.set_visible(shown);
    if (!shown) {
        notice_.set_visible(false);
        pageHost_.set_visible(false);
    }
    host_.setFullSize(shown);
}

void SignInView::setPageHost(const std::string& host) {
    pageHost_.set_text(
        host.empty() ? std::string()
                     // Translators: shown under the banner while the page is
                     // on a sign-in page that is not Orvo's own site; {host}
                     // is that page's host name.
                     : Translation::fill(_("This sign-in page is on {host}"), {{"host", host}}));
    pageHost_.set_visible(!host.empty() && banner_.get_visible());
}

void SignInView::setUnreachable(bool unreachable) {
    unreachable_.set_visible(unreachable);
    host_.set_visible(!unreachable);
}
