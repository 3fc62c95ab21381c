#include "ui/Card.hpp"

Card::Card(int spacing) : Gtk::Box(Gtk::Orientation::VERTICAL, spacing) {
    add_css_class("card");
    set_hexpand(true);
    set_halign(Gtk::Align::FILL);
}
