#pragma once
#include <gtkmm/widget.h>
#include <string>

namespace Accessibility {

// The name assistive technologies read for the widget (for controls whose
// content does not say what they do).
void setLabel(Gtk::Widget& widget, const std::string& text);

// Tab and Shift+Tab leave the widget (a list whose every row takes focus)
// for the next or previous focusable control outside it; arrows still move
// inside.
void tabLeaves(Gtk::Widget& widget);

} // namespace Accessibility
