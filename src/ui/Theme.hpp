#pragma once
#include <cstdint>
#include <string>

namespace Gdk {
class Display;
}

// The app's palette. Every colour on screen comes from here: the widgets'
// style sheet is generated from these values, and drawing code reads them
// directly.
namespace Theme {

// An opaque sRGB colour written as 0xRRGGBB.
struct Colour {
    std::uint32_t rgb;

    constexpr double red() const { return double((rgb >> 16) & 0xFF) / 255.0; }
    constexpr double green() const { return double((rgb >> 8) & 0xFF) / 255.0; }
    constexpr double blue() const { return double(rgb & 0xFF) / 255.0; }
    // "#12b7d4", for style sheets.
    std::string css() const;
    // "rgba(18,183,212,0.12)".
    std::string css(double opacity) const;

    // This colour drawn at an opacity over an opaque background.
    Colour over(Colour background, double opacity) const;
    // The WCAG contrast ratio of two colours, from 1 to 21.
    static double contrast(Colour a, Colour b);

    constexpr bool operator==(const Colour&) const = default;
};

inline constexpr Colour pool{0x12B7D4};
inline constexpr Colour poolDark{0x0E93AC};
inline constexpr Colour poolTint{0xE3F6FA};
inline constexpr Colour bg{0xEDF2F5};
inline constexpr Colour card{0xFFFFFF};
inline constexpr Colour border{0xDDE4EA};
inline constexpr Colour textPrimary{0x1B2733};
inline constexpr Colour textSecondary{0x6B7787};
inline constexpr Colour danger{0xDB5A41};

// The colours the style sheet is made from: the ones above, or a darker
// set in which every text reaches a contrast of 4.5:1 against what it is
// drawn on, for desktops that ask for high contrast.
struct Palette {
    Colour pool, poolDark, poolTint, bg, card, border, textPrimary, textSecondary, danger;
};
Palette standard();
Palette highContrast();

// The style sheet for every screen of the app. Its sizes are in points,
// so the desktop's text scaling applies to them.
std::string styleSheet(const Palette& palette = standard());

// The GTK theme to draw with, given the one the desktop names: the app is
// light, so a dark theme gives way to its light counterpart.
std::string lightThemeName(const std::string& desktopTheme);
// Whether the desktop's theme is a high-contrast one.
bool wantsHighContrast(const std::string& desktopTheme);

// Loads the style sheet for the display (once) and keeps the app light
// whatever the desktop prefers, following later changes of its theme.
void install(const Gdk::Display& display);

} // namespace Theme
