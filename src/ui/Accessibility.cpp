#include "ui/Accessibility.hpp"

#include "model/Translation.hpp"

#include <gtk/gtk.h>
#include <gtkmm/root.h>
#include <gtkmm/scrollbar.h>
#include <vector>

namespace Accessibility {

void setLabel(Gtk::Widget& widget, const std::string& text) {
    gtk_accessible_update_property(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_PROPERTY_LABEL,
                                   text.c_str(), -1);
    // Newer GTK names a button after its label child, and that relation
    // outranks the label property: the name given here must win.
    gtk_accessible_reset_relation(GTK_ACCESSIBLE(widget.gobj()),
                                  GTK_ACCESSIBLE_RELATION_LABELLED_BY);
}

namespace {
void labelTree(Gtk::Widget& widget, const std::string& text) {
    setLabel(widget, text);
    for (auto* child = widget.get_first_child(); child; child = child->get_next_sibling())
        labelTree(*child, text);
}
} // namespace

void nameScrollBars(Gtk::ScrolledWindow& area, const std::string& areaName) {
    for (Gtk::Widget* bar : {area.get_vscrollbar(), area.get_hscrollbar()})
        if (bar)
            // Translators: what a screen reader says; {area} names the scrolled area ("Activity
            // log").
            labelTree(*bar, Translation::fill(_("{area} scroll bar"), {{"area", areaName}}));
}

void setHidden(Gtk::Widget& widget, bool hidden) {
    gtk_accessible_update_state(GTK_ACCESSIBLE(widget.gobj()), GTK_ACCESSIBLE_STATE_HIDDEN,
                                gboolean(hidden), -1);
}

namespace {

bool canTakeFocus(Gtk::Widget& widget) {
    return widget.get_focusable() && widget.get_can_focus() && widget.is_sensitive() &&
           widget.get_mapped() && widget.get_child_visible();
}

// Focusable widgets in tab order (depth first), skipping inside.
void collect(Gtk::Widget& widget, Gtk::Widget& inside, std::vector<Gtk::Widget*>& order,
             std::size_t& insideAt) {
    if (&widget == &inside) {
        insideAt = order.size();
        return;
    }
    if (!widget.get_visible() || !widget.is_sensitive())
        return;
    if (canTakeFocus(widget))
        order.push_back(&widget);
    for (auto* child = widget.get_first_child(); child; child = child->get_next_sibling())
        collect(*child, inside, order, insideAt);
}

} // namespace

bool focusWithin(Gtk::Widget& widget, bool first) {
    std::vector<Gtk::Widget*> order;
    std::size_t none = 0;
    for (auto* child = widget.get_first_child(); child; child = child->get_next_sibling())
        collect(*child, widget, order, none);
    if (first) {
        for (Gtk::Widget* control : order)
            if (control->grab_focus())
                return true;
    } else {
        for (auto at = order.rbegin(); at != order.rend(); ++at)
            if ((*at)->grab_focus())
                return true;
    }
    return false;
}

bool focusPast(Gtk::Widget& inside, bool forward) {
    auto* root = dynamic_cast<Gtk::Widget*>(inside.get_root());
    if (!root)
        return false;
    std::vector<Gtk::Widget*> order;
    std::size_t insideAt = std::size_t(-1);
    collect(*root, inside, order, insideAt);
    if (insideAt == std::size_t(-1))
        return false;
    if (forward) {
        for (std::size_t i = insideAt; i < order.size(); ++i)
            if (order[i]->grab_focus())
                return true;
    } else {
        for (std::size_t i = insideAt; i-- > 0;)
            if (order[i]->grab_focus())
                return true;
    }
    return false;
}

} // namespace Accessibility
