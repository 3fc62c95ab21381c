#pragma once
#include "ui/PanelCard.hpp"

#include <deque>
#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <string>

// The activity log, one monospaced line per entry. New lines are added and
// dropped ones removed; the lines already shown are left alone.
class LogCard : public PanelCard {
  public:
    explicit LogCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

    // The labels shown, oldest first (for tests).
    std::size_t lineCount() const { return labels_.size(); }

  private:
    Gtk::Box* lines_;
    std::deque<std::string> shown_;
    std::deque<Gtk::Label*> labels_;
};
