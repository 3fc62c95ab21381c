#pragma once
#include "ui/PanelCard.hpp"

#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/spinbutton.h>

// Scanning the library: how many recent workspaces, the two scan buttons
// and the scan's status line.
class ScanCard : public PanelCard {
  public:
    explicit ScanCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

  private:
    Gtk::Label* recent_;
    Gtk::SpinButton* count_;
    Gtk::Button* scanRecent_;
    Gtk::Button* scanAll_;
    Gtk::Label* status_;
};
