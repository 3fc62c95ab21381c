#pragma once
#include "ui/PanelCard.hpp"

#include <gtkmm/box.h>

class SectionLabel;

// The tracks the last run could not fetch, each with a link to its page
// for a manual download.
class FailuresCard : public PanelCard {
  public:
    explicit FailuresCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

    // The warning and the count, over the list.
    Gtk::Widget& heading() { return *heading_; }

    // Opens a track's page in the default browser; only web addresses.
    static void open(Gtk::Widget& from, const std::string& url);

  private:
    Gtk::Box* heading_;
    SectionLabel* title_;
    Gtk::Box* entries_;
};
