#include "ui/PanelWidgets.hpp"

#include "ui/Accessibility.hpp"
#include "ui/DisplayText.hpp"

#include <gtkmm/box.h>
#include <gtkmm/gestureclick.h>
#include <gtkmm/image.h>
#include <gtkmm/label.h>
#include <gtkmm/tooltip.h>
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

namespace {
constexpr const char* wholeText = "orvo-whole-text";
}

void singleLine(Gtk::Label& label) {
    label.set_wrap(false);
    label.set_single_line_mode(true);
    label.set_ellipsize(Pango::EllipsizeMode::MIDDLE);
    label.set_hexpand(true);
    // The tooltip is made when it is shown: these lines change many times a
    // second during a run, and a tooltip set each time costs far more.
    label.set_has_tooltip(true);
    label.signal_query_tooltip().connect(
        [&label](int, int, bool, const Glib::RefPtr<Gtk::Tooltip>& tooltip) {
            const auto* text =
                static_cast<const char*>(g_object_get_data(G_OBJECT(label.gobj()), wholeText));
            if (!text || !*text)
                return false;
            tooltip->set_text(text);
            return true;
        },
        false);
}

void showLine(Gtk::Label& label, const std::string& text) {
    const std::string shown = DisplayText::composed(text);
    label.set_text(DisplayText::clipped(shown, maxLineCharacters));
    g_object_set_data_full(G_OBJECT(label.gobj()), wholeText,
                           g_strdup(DisplayText::clipped(shown, 4 * maxLineCharacters).c_str()),
                           g_free);
}

Gtk::Switch* labelledSwitch(Gtk::Box& row, const std::string& name, const std::string& text,
                            std::function<void(bool)> write) {
    row.append(*gap());
    auto* caption = label("size-12 medium text-primary", text);
    caption->set_valign(Gtk::Align::CENTER);
    row.append(*caption);
    auto* control = Gtk::make_managed<Gtk::Switch>();
    control->set_name(name);
    control->set_valign(Gtk::Align::CENTER);
    Accessibility::setLabel(*control, text);
    control->property_active().signal_changed().connect(
        [control, write = std::move(write)] { write(control->get_active()); });
    // The label is part of the control: a click on it flips the switch.
    auto click = Gtk::GestureClick::create();
    click->signal_released().connect([control](int, double, double) {
        if (control->is_sensitive())
            control->set_active(!control->get_active());
    });
    caption->add_controller(click);
    row.append(*control);
    return control;
}

Gtk::Widget* gap() {
    auto* gap = Gtk::make_managed<Gtk::Box>();
    gap->set_hexpand(true);
    return gap;
}

Gtk::Widget* icon(const std::string& name, const std::string& cssClass, int size) {
    auto* image = Gtk::make_managed<Gtk::Image>();
    image->set_from_icon_name(name);
    image->add_css_class(cssClass);
    image->set_pixel_size(size);
    // The icons only decorate what the texts beside them say.
    Accessibility::setHidden(*image, true);
    return image;
}

Gtk::ScrolledWindow* scroller(Gtk::Widget& content, int maxHeight, const std::string& name) {
    auto* area = Gtk::make_managed<Gtk::ScrolledWindow>();
    Accessibility::setLabel(*area, name);
    Accessibility::nameScrollBars(*area, name);
    area->add_css_class("inner");
    area->set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    area->set_propagate_natural_height(true);
    area->set_max_content_height(maxHeight);
    area->set_child(content);
    return area;
}

} // namespace PanelWidgets
