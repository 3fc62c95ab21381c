#pragma once
#include "app/ContentView.hpp"

#include <gtkmm/applicationwindow.h>

// The app's one window: at least 860 × 760, any larger size allowed, with
// the primary menu in its header bar.
class MainWindow : public Gtk::ApplicationWindow {
  public:
    static constexpr const char* title = "Orvo WAV Downloader";
    static constexpr int minWidth = 860;
    static constexpr int minHeight = 760;

    explicit MainWindow(SettingsStore& settings);

    ContentView& content() { return content_; }

  private:
    ContentView content_;
};
