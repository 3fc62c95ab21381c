#pragma once
#include <gtkmm/drawingarea.h>

// The app's logo: a white waveform on a rounded accent-coloured tile.
class LogoMark : public Gtk::DrawingArea {
  public:
    explicit LogoMark(int size);

    // The tile's corner radius and the waveform's height for a side length.
    static double cornerRadius(double size) { return 0.28 * size; }
    static double symbolSize(double size) { return 0.5 * size; }

    // Draws the logo into a square of the given side at the origin (also
    // used for the app icon).
    static void draw(const Cairo::RefPtr<Cairo::Context>& cr, double size);
};

// The logo at a side length, as the screens place it.
LogoMark* logoMark(int size);
