#pragma once
#include "manager/DownloadManager.hpp"

#include <gtkmm/box.h>
#include <gtkmm/label.h>

// The logo, the app's name and when the library was last scanned.
class PanelHeader : public Gtk::Box {
  public:
    explicit PanelHeader(DownloadManager& manager);
    void refresh(DownloadManager::Property property);

  private:
    DownloadManager& manager_;
    Gtk::Label* status_;
};
