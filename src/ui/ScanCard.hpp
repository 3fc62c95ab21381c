#pragma once
#include "ui/PanelCard.hpp"

#include <gtkmm/button.h>
#include <gtkmm/label.h>

// Scanning the library: how many recent workspaces, the two scan buttons
// and the scan's status line.
class ScanCard : public PanelCard {
  public:
    static constexpr std::int64_t minRecent = 5;
    static constexpr std::int64_t maxRecent = 100;
    static constexpr std::int64_t recentStep = 5;

    explicit ScanCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

  private:
    void step(std::int64_t by);

    Gtk::Label* recent_;
    Gtk::Button* fewer_;
    Gtk::Button* more_;
    Gtk::Button* scanRecent_;
    Gtk::Button* scanAll_;
    Gtk::Label* status_;
};
