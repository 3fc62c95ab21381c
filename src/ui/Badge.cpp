#include "ui/Badge.hpp"

#include <gtkmm/cssprovider.h>
#include <gtkmm/stylecontext.h>

Badge::Badge(const std::string& text, Theme::Colour colour) : Gtk::Label(text) {
    add_css_class("badge");
    set_valign(Gtk::Align::CENTER);
    if (colour != Theme::pool) {
        colours_ = Gtk::CssProvider::create();
        colours_->load_from_data(".badge { color: " + colour.css() +
                                 "; background-color: " + colour.css(0.12) + "; }");
        get_style_context()->add_provider(colours_, GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
    }
}
