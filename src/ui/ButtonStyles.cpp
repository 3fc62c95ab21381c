#include "ui/ButtonStyles.hpp"

namespace PrimaryButtonStyle {
void apply(Gtk::Button& button) {
    button.add_css_class("primary");
    button.remove_css_class("ghost");
}
} // namespace PrimaryButtonStyle

namespace GhostButtonStyle {
void apply(Gtk::Button& button) {
    button.add_css_class("ghost");
    button.remove_css_class("primary");
}
} // namespace GhostButtonStyle
