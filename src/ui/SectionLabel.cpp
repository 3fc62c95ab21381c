#include "ui/SectionLabel.hpp"

#include "ui/DisplayText.hpp"


SectionLabel::SectionLabel(const std::string& text) {
    add_css_class("section-label");
    set_xalign(0);
    setText(text);
}

void SectionLabel::setText(const std::string& text) {
    set_text(DisplayText::line(DisplayText::upperCase(text)));
}
