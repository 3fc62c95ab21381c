#pragma once
#include <gtkmm/label.h>
#include <string>

// A card's caption: small bold capitals with widened letter spacing.
class SectionLabel : public Gtk::Label {
  public:
    explicit SectionLabel(const std::string& text);
    void setText(const std::string& text);
};
