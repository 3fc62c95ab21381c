#pragma once
#include "ui/PanelCard.hpp"

#include <gtkmm/button.h>
#include <gtkmm/label.h>
#include <gtkmm/progressbar.h>

class Badge;

// Starting and cancelling a download run, and its progress. The last
// run's bar and texts stay until the next run replaces them.
class ActionCard : public PanelCard {
  public:
    static constexpr double blockedOpacity = 0.45;

    explicit ActionCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

    Gtk::Button& downloadButton() { return *download_; }
    Gtk::Button& cancelButton() { return *cancel_; }
    Gtk::Widget& progressSection() { return *progress_; }

  private:
    void refreshDownload();

    Gtk::Button* download_;
    Gtk::Button* cancel_;
    Badge* queued_;
    Gtk::Box* progress_;
    Gtk::ProgressBar* bar_;
    Gtk::Label* overall_;
    Gtk::Label* current_;
};
