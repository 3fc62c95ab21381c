#pragma once
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/widget.h>
#include <string>

namespace Accessibility {

// The name assistive technologies read for the widget (for controls whose
// content does not say what they do).
void setLabel(Gtk::Widget& widget, const std::string& text);

// Names a scrolled area's scroll bars (and the range inside each) after the
// area, "Activity log scroll bar", instead of the toolkit's class names.
void nameScrollBars(Gtk::ScrolledWindow& area, const std::string& areaName);

// Keeps the widget (and what is in it) off the accessibility bus, for
// pictures that only decorate and for what is out of sight.
void setHidden(Gtk::Widget& widget, bool hidden);

// Gives the keyboard to the first (or last) control inside the widget.
bool focusWithin(Gtk::Widget& widget, bool first);

// Moves the keyboard focus to the first control after (or before) the
// widget in tab order, skipping the widget's own descendants; the widget
// itself may already be insensitive or hidden. False when there is none.
bool focusPast(Gtk::Widget& widget, bool forward);

} // namespace Accessibility
