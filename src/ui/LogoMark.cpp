#include "ui/LogoMark.hpp"

#include "ui/Accessibility.hpp"
#include "ui/Theme.hpp"

#include <array>
#include <cmath>
#include <gtkmm/object.h>

LogoMark::LogoMark(int size) {
    set_content_width(size);
    set_content_height(size);
    set_size_request(size, size);
    // A picture of the app's name, which is always written beside it.
    Accessibility::setHidden(*this, true);
    set_halign(Gtk::Align::CENTER);
    set_valign(Gtk::Align::CENTER);
    set_draw_func([](const Cairo::RefPtr<Cairo::Context>& cr, int width, int height) {
        draw(cr, std::min(width, height));
    });
}

void LogoMark::draw(const Cairo::RefPtr<Cairo::Context>& cr, double size) {
    const double r = cornerRadius(size);
    cr->begin_new_sub_path();
    cr->arc(size - r, r, r, -M_PI / 2, 0);
    cr->arc(size - r, size - r, r, 0, M_PI / 2);
    cr->arc(r, size - r, r, M_PI / 2, M_PI);
    cr->arc(r, r, r, M_PI, 3 * M_PI / 2);
    cr->close_path();
    cr->set_source_rgb(Theme::pool.red(), Theme::pool.green(), Theme::pool.blue());
    cr->fill();

    // A waveform: seven rounded bars, tallest in the middle, spanning the
    // symbol's size.
    static constexpr std::array<double, 7> heights{0.30, 0.62, 0.86, 1.0, 0.74, 0.48, 0.26};
    const double symbol = symbolSize(size);
    const double step = symbol / double(heights.size());
    const double bar = step * 0.58;
    const double left = (size - symbol) / 2 + (step - bar) / 2;
    cr->set_source_rgb(1, 1, 1);
    cr->set_line_cap(Cairo::Context::LineCap::ROUND);
    cr->set_line_width(bar);
    for (std::size_t i = 0; i < heights.size(); ++i) {
        const double x = left + double(i) * step + bar / 2;
        const double half = std::max(heights[i] * symbol - bar, 0.0) / 2;
        cr->move_to(x, size / 2 - half);
        cr->line_to(x, size / 2 + half);
    }
    cr->stroke();
}

LogoMark* logoMark(int size) { return Gtk::make_managed<LogoMark>(size); }
