#pragma once
#include <cstddef>
#include <gtkmm/label.h>
#include <gtkmm/scrolledwindow.h>
#include <string>

// Small helpers the screens share.
namespace PanelWidgets {
// A label in the given classes ("size-12 text-secondary"), left-aligned.
Gtk::Label* label(const std::string& classes, const std::string& text = "");
// Makes a status label one line, shortened in the middle when too long.
void singleLine(Gtk::Label& label);
// Shows a line the app composed (made safe, left to right, at most
// maxLineCharacters long), with the whole of it in the tooltip.
void showLine(Gtk::Label& label, const std::string& text);
inline constexpr std::size_t maxLineCharacters = 300;
// A horizontal box that pushes what follows it to the far end.
Gtk::Widget* gap();
// A symbolic icon from the icon theme, at a pixel size, coloured by a class.
Gtk::Widget* icon(const std::string& name, const std::string& cssClass, int size);
// A vertically scrolling area as tall as its content, up to a limit, with
// the name screen readers give it.
Gtk::ScrolledWindow* scroller(Gtk::Widget& content, int maxHeight, const std::string& name);
} // namespace PanelWidgets
