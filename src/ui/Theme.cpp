#include "ui/Theme.hpp"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <gdkmm/display.h>
#include <glib.h>
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
    // CSS numbers take a point whatever the user's locale says.
    char alpha[G_ASCII_DTOSTR_BUF_SIZE];
    g_ascii_formatd(alpha, sizeof alpha, "%.3g", opacity);
    return "rgba(" + std::to_string((rgb >> 16) & 0xFF) + "," + std::to_string((rgb >> 8) & 0xFF) +
           "," + std::to_string(rgb & 0xFF) + "," + alpha + ")";
}

Colour Colour::over(Colour background, double opacity) const {
    std::uint32_t mixed = 0;
    for (int shift : {16, 8, 0}) {
        const double front = double((rgb >> shift) & 0xFF);
        const double back = double((background.rgb >> shift) & 0xFF);
        mixed |= std::uint32_t(std::lround(front * opacity + back * (1 - opacity))) << shift;
    }
    return {mixed};
}

double Colour::contrast(Colour a, Colour b) {
    const auto luminance = [](Colour c) {
        const auto linear = [](double v) {
            return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
        };
        return 0.2126 * linear(c.red()) + 0.7152 * linear(c.green()) + 0.0722 * linear(c.blue());
    };
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

Palette standard() {
    return {pool, poolDark, poolTint, bg, card, border, textPrimary, textSecondary, danger};
}

Palette highContrast() {
    return {{0x005C6C}, {0x004652}, {0xD5F0F5}, {0xFFFFFF}, {0xFFFFFF},
            {0x3A4450}, {0x000000}, {0x2E3640}, {0xB3261E}};
}

namespace {

// The sheet is written in pixels at the usual 96 dpi; points scale with
// the desktop's text size setting.
std::string inPoints(const std::string& sheet) {
    std::string out;
    out.reserve(sheet.size());
    std::size_t at = 0;
    while (at < sheet.size()) {
        const std::size_t px = sheet.find("px", at);
        if (px == std::string::npos) {
            out.append(sheet, at);
            break;
        }
        std::size_t start = px;
        while (start > at && (std::isdigit(static_cast<unsigned char>(sheet[start - 1])) ||
                              sheet[start - 1] == '.'))
            --start;
        out.append(sheet, at, start - at);
        if (start == px) { // not a length
            out += "px";
        } else {
            // Read and written with a point in every locale.
            const std::string length = sheet.substr(start, px - start);
            char number[G_ASCII_DTOSTR_BUF_SIZE];
            g_ascii_formatd(number, sizeof number, "%g",
                            g_ascii_strtod(length.c_str(), nullptr) * 0.75);
            out += number;
            out += "pt";
        }
        at = px + 2;
    }
    return out;
}

} // namespace

std::string styleSheet(const Palette& palette) {
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
    define("pool", palette.pool.css());
    define("poolDark", palette.poolDark.css());
    define("poolTint", palette.poolTint.css());
    define("poolBadge", palette.pool.css(0.12));
    define("bg", palette.bg.css());
    define("card", palette.card.css());
    define("border", palette.border.css());
    define("textPrimary", palette.textPrimary.css());
    define("textSecondary", palette.textSecondary.css());
    define("danger", palette.danger.css());
    return defines + inPoints(sheet);
}

std::string lightThemeName(const std::string& desktopTheme) {
    if (wantsHighContrast(desktopTheme))
        return "HighContrast";
    std::string lower = desktopTheme;
    for (char& c : lower)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    if (desktopTheme.empty() || lower.find("dark") != std::string::npos)
        return "Adwaita";
    return desktopTheme;
}

bool wantsHighContrast(const std::string& desktopTheme) {
    return desktopTheme.starts_with("HighContrast");
}

namespace {

// Puts the desktop's theme back to a light one, and the app's colours to
// the palette that theme asks for.
void follow(Gtk::Settings& settings, Gtk::CssProvider& provider) {
    // Setting a property notifies even when its value stays.
    static bool following = false;
    if (following)
        return;
    following = true;
    if (settings.property_gtk_application_prefer_dark_theme().get_value())
        settings.property_gtk_application_prefer_dark_theme() = false;
    const std::string desktop = settings.property_gtk_theme_name().get_value();
    const std::string light = lightThemeName(desktop);
    if (light != desktop)
        settings.property_gtk_theme_name() = light;
    // High contrast asked for by the desktop, or by GTK_THEME.
    const char* forced = std::getenv("GTK_THEME");
    const bool high = wantsHighContrast(desktop) || (forced && wantsHighContrast(forced));
    provider.load_from_data(styleSheet(high ? highContrast() : standard()));
    following = false;
}

} // namespace

void install(const Gdk::Display& display) {
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    auto provider = Gtk::CssProvider::create();
    provider->signal_parsing_error().connect(
        [](const Glib::RefPtr<const Gtk::CssSection>&, const Glib::Error& error) {
            g_warning("style sheet: %s", error.what());
        });
    auto shown = Glib::wrap(const_cast<GdkDisplay*>(display.gobj()), true);
    Gtk::StyleContext::add_provider_for_display(shown, provider,
                                                GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    // The app is drawn light only: its colours are fixed, and a dark theme
    // would draw dark title bars, menus and dialogs around its white cards.
    auto settings = Gtk::Settings::get_for_display(shown);
    if (!settings) {
        provider->load_from_data(styleSheet());
        return;
    }
    follow(*settings, *provider);
    const auto again = [settings = settings.get(), provider] { follow(*settings, *provider); };
    settings->property_gtk_theme_name().signal_changed().connect(again);
    settings->property_gtk_application_prefer_dark_theme().signal_changed().connect(again);
}

} // namespace Theme
