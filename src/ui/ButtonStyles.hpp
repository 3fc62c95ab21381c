#pragma once
#include <gtkmm/button.h>

// The two button looks. They change only how a button is drawn; a disabled
// button keeps its colours (a screen that wants it dimmed sets its opacity).
namespace PrimaryButtonStyle {
// Filled with the accent colour, white semibold label.
void apply(Gtk::Button& button);
} // namespace PrimaryButtonStyle

namespace GhostButtonStyle {
// White with a hairline outline and an accent-coloured label.
void apply(Gtk::Button& button);
} // namespace GhostButtonStyle
