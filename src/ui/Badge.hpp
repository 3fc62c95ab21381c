#pragma once
#include "ui/Theme.hpp"

#include <glibmm/refptr.h>
#include <gtkmm/label.h>
#include <string>

namespace Gtk {
class CssProvider;
}

// A small pill: the text in the colour, on the colour at 12 % strength.
class Badge : public Gtk::Label {
  public:
    explicit Badge(const std::string& text = "", Theme::Colour colour = Theme::pool);
    void setText(const std::string& text) { set_text(text); }

  private:
    Glib::RefPtr<Gtk::CssProvider> colours_; // only for a colour other than pool
};
