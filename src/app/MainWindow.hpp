#pragma once
#include "app/ContentView.hpp"
#include "model/Translation.hpp"

#include <gtkmm/applicationwindow.h>

// The app's one window, with the primary menu in its header bar. It opens
// at 860 × 760, or smaller when the screen's work area is smaller, and can
// be made as small as a 1024 × 600 laptop needs: the agreement and the
// panel scroll inside it.
class MainWindow : public Gtk::ApplicationWindow {
  public:
    static constexpr const char* title = N_("Orvo WAV Downloader");
    static constexpr int defaultWidth = 860;
    static constexpr int defaultHeight = 760;
    static constexpr int minWidth = 600;
    static constexpr int minHeight = 420;

    explicit MainWindow(SettingsStore& settings);

    ContentView& content() { return content_; }

  private:
    // The default size, shrunk to the work area of the screen it opens on.
    void fitToScreen();

    ContentView content_;
};
