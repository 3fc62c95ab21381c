#include "app/SignInView.hpp"

#include "ui/LogoMark.hpp"
#include "ui/PanelWidgets.hpp"

SignInView::SignInView()
    : Gtk::Box(Gtk::Orientation::VERTICAL, 0), banner_(Gtk::Orientation::HORIZONTAL, 10) {
    set_name("signInView");
    banner_.set_name("signInBanner");
    banner_.add_css_class("banner");
    banner_.append(*logoMark(30));
    auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
    texts->set_valign(Gtk::Align::CENTER);
    texts->append(*PanelWidgets::label("size-15 bold text-primary", title));
    auto* hintLabel = PanelWidgets::label("size-12 text-secondary", hint);
    hintLabel->set_wrap(true);
    texts->append(*hintLabel);
    texts->set_hexpand(true);
    banner_.append(*texts);
    append(banner_);
    append(host_);
}

void SignInView::setShown(bool shown) {
    banner_.set_visible(shown);
    host_.setFullSize(shown);
}
