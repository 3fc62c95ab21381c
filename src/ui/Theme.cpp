#include "ui/Theme.hpp"

#include <cstdio>
#include <gdkmm/display.h>
#include <gtk/gtk.h>
#include <gtkmm/cssprovider.h>
#include <gtkmm/settings.h>
#include <gtkmm/stylecontext.h>

namespace Theme {

std::string Colour::css() const {
    char text[8];
    std::snprintf(text, sizeof text, "#%06x", unsigned(rgb & 0xFFFFFF));
    return text;
}

std::string Colour::css(double opacity) const {
    char text[48];
    std::snprintf(text, sizeof text, "rgba(%u,%u,%u,%.3g)", unsigned((rgb >> 16) & 0xFF),
                  unsigned((rgb >> 8) & 0xFF), unsigned(rgb & 0xFF), opacity);
    return text;
}

std::string styleSheet() {
    // Sizes are logical pixels, so text keeps the same size whatever the
    // screen's DPI setting says about points.
    const std::string sheet = R"css(
window.orvo, window.orvo > contents { background-color: @bg; color: @textPrimary; }
.orvo-root { background-color: @bg; }

.card {
  background-color: @card;
  border: 1px solid @border;
  border-radius: 14px;
  padding: 16px;
  box-shadow: 0 3px 7px rgba(0,0,0,0.05);
}
.section-label {
  font-size: 11px; font-weight: bold; letter-spacing: 0.6px; color: @textSecondary;
}
.badge {
  font-size: 11px; font-weight: 600;
  padding: 3px 8px; border-radius: 999px;
  color: @pool; background-color: @poolBadge;
}

button.primary {
  font-size: 14px; font-weight: 600; color: white;
  padding: 10px 20px; border-radius: 10px;
  background-color: @pool; background-image: none;
  border: none; box-shadow: none; text-shadow: none;
}
button.primary:hover { background-color: @pool; }
button.primary:active, button.primary:checked { background-color: @poolDark; }
button.primary:disabled { background-color: @pool; color: white; }
button.primary label { color: white; }

button.ghost {
  font-size: 13px; font-weight: 500; color: @poolDark;
  padding: 8px 14px; border-radius: 9px;
  background-color: white; background-image: none;
  border: 1px solid @border; box-shadow: none; text-shadow: none;
}
button.ghost:hover { background-color: white; }
button.ghost:active, button.ghost:checked { background-color: @poolTint; }
button.ghost:disabled { background-color: white; color: @poolDark; }
button.ghost label, button.ghost:disabled label { color: @poolDark; }

.text-primary { color: @textPrimary; }
.text-secondary { color: @textSecondary; }
.size-11 { font-size: 11px; }
.size-12 { font-size: 12px; }
.size-13 { font-size: 13px; }
.size-14 { font-size: 14px; }
.size-15 { font-size: 15px; }
.size-18 { font-size: 18px; }
.size-19 { font-size: 19px; }
.medium { font-weight: 500; }
.semibold { font-weight: 600; }
.bold { font-weight: bold; }
.mono { font-family: monospace; }

switch:checked { background-color: @pool; }
progressbar > trough { min-height: 6px; border-radius: 3px; }
progressbar > trough > progress { background-color: @pool; min-height: 6px; border-radius: 3px; }
.folder-icon { color: @pool; }
.danger-icon { color: @danger; }
.pool-dot { background-color: @pool; border-radius: 3px; min-width: 6px; min-height: 6px; }

scrolledwindow.inner, scrolledwindow.inner > viewport { background: transparent; }
listview.workspaces, listview.workspaces > row { background: transparent; padding: 0; }
listview.workspaces > row:hover, listview.workspaces > row:selected { background: transparent; }
listview.workspaces > row:focus-visible > .workspace-row { outline: 2px solid @poolDark; outline-offset: -2px; }
.workspace-row { padding: 7px 8px; border-radius: 8px; margin: 1px 0; }
.workspace-row.on { background-color: @poolTint; }
.workspace-row check {
  min-width: 14px; min-height: 14px; border-radius: 4px;
  background-color: transparent; background-image: none; box-shadow: none;
  border: 1.5px solid @textSecondary; color: transparent;
}
.workspace-row check:checked {
  background-color: @pool; border-color: @pool; color: white;
  -gtk-icon-source: -gtk-icontheme("object-select-symbolic");
}

.banner { background-color: @card; border-bottom: 1px solid @border; padding: 12px; }
.footer { background-color: @card; padding: 16px; }
separator.border-line { background-color: @border; min-height: 1px; }
)css";
    std::string defines;
    const auto define = [&](const char* name, const std::string& value) {
        defines += std::string("@define-color ") + name + " " + value + ";\n";
    };
    define("pool", pool.css());
    define("poolDark", poolDark.css());
    define("poolTint", poolTint.css());
    define("poolBadge", pool.css(0.12));
    define("bg", bg.css());
    define("card", card.css());
    define("border", border.css());
    define("textPrimary", textPrimary.css());
    define("textSecondary", textSecondary.css());
    define("danger", danger.css());
    return defines + sheet;
}

void install(const Gdk::Display& display) {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    // The app is drawn light only: its colours are fixed, and a dark theme
    // would put light text on its white cards.
    if (auto settings = Gtk::Settings::get_default())
        settings->property_gtk_application_prefer_dark_theme() = false;
    auto provider = Gtk::CssProvider::create();
    provider->signal_parsing_error().connect(
        [](const Glib::RefPtr<const Gtk::CssSection>&, const Glib::Error& error) {
            g_warning("style sheet: %s", error.what());
        });
    provider->load_from_data(styleSheet());
    Gtk::StyleContext::add_provider_for_display(
        Glib::wrap(const_cast<GdkDisplay*>(display.gobj()), true), provider,
        GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
}

} // namespace Theme
