#pragma once
// Finding and photographing widgets in tests that build real windows.
#include <filesystem>
#include <functional>
#include <gtkmm/widget.h>
#include <string>
#include <vector>

namespace widgettest {

// The first widget below (or at) root with this name, depth first.
Gtk::Widget* named(Gtk::Widget& root, const std::string& name);
template <typename T> T& named(Gtk::Widget& root, const std::string& name) {
    auto* widget = dynamic_cast<T*>(named(root, name));
    if (!widget)
        throw std::runtime_error("no widget named " + name);
    return *widget;
}

// Every widget below (or at) root, depth first.
void walk(Gtk::Widget& root, const std::function<void(Gtk::Widget&)>& visit);

// Whether the widget and all its ancestors are visible.
bool shown(Gtk::Widget& widget);

// Gives a key press to the widget's key controllers, as the keyboard would
// (GTK 4.8 has no synthetic key events); true when one handled it.
bool pressKey(Gtk::Widget& widget, unsigned keyval, unsigned modifiers = 0);

// Waits for the widget to be drawn, then saves it as a PNG.
void screenshot(Gtk::Widget& widget, const std::filesystem::path& file);

} // namespace widgettest
