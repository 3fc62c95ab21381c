#include "ui/PanelCard.hpp"

#include <gtkmm/label.h>
#include <sstream>

namespace PanelWidgets {

Gtk::Label* label(const std::string& classes, const std::string& text) {
    auto* label = Gtk::make_managed<Gtk::Label>(text);
    std::istringstream names(classes);
    for (std::string name; names >> name;)
        label->add_css_class(name);
    label->set_xalign(0);
    return label;
}

Gtk::Widget* gap() {
    auto* gap = Gtk::make_managed<Gtk::Box>();
    gap->set_hexpand(true);
    return gap;
}

} // namespace PanelWidgets
