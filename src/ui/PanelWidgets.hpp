#pragma once
#include <cstddef>
#include <functional>
#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/switch.h>
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
// A labelled switch at the far end of the row, which calls write with its
// new position whenever it moves; a click on the label flips it too.
Gtk::Switch* labelledSwitch(Gtk::Box& row, const std::string& name, const std::string& text,
                            std::function<void(bool)> write);
// A horizontal box that pushes what follows it to the far end.
Gtk::Widget* gap();
// A symbolic icon from the icon theme, at a pixel size, coloured by a class.
Gtk::Widget* icon(const std::string& name, const std::string& cssClass, int size);
// A vertically scrolling area as tall as its content, up to a limit, with
// the name screen readers give it.
Gtk::ScrolledWindow* scroller(Gtk::Widget& content, int maxHeight, const std::string& name);
} // namespace PanelWidgets
