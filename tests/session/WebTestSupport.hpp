#pragma once
// Helpers for tests that drive a real web view under Xvfb.
#include "async/GlibClock.hpp"
#include "support/FastClock.hpp"

#include <chrono>
#include <functional>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/window.h>

namespace webtest {

// GTK and gtkmm once per test binary, as the app's Gtk::Application would.
inline void initGtk() {
    static const bool done = [] {
        gtk_init();
        Gtk::init_gtkmm_internals();
        return true;
    }();
    (void)done;
}

// Runs the main loop until the condition holds; false if it still does not
// hold after the given (generous) number of seconds. The limit only stops a
// broken test from hanging, it is not a timing check.
inline bool runUntil(const std::function<bool()>& condition, double limitSeconds = 30) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(limitSeconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

// Keeps the main loop turning for a while, for checks that something does
// not happen.
inline void runFor(double seconds) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    runUntil([&] { return std::chrono::steady_clock::now() > end; }, seconds + 1);
}

// A presented window: a hidden web view never runs its frame callbacks.
class HostWindow {
  public:
    explicit HostWindow(Gtk::Widget& content) {
        window_.set_default_size(800, 600);
        window_.set_child(content);
        window_.present();
    }
    ~HostWindow() { window_.unset_child(); }
    Gtk::Window& window() { return window_; }

  private:
    Gtk::Window window_;
};

} // namespace webtest
