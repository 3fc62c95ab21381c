#pragma once
#include "ui/PanelCard.hpp"

#include <gtkmm/button.h>

// The offer to finish the last run, which stopped before its end: how many
// tracks are left, "Resume" and "Dismiss". Shown while no run is going.
class ResumeCard : public PanelCard {
  public:
    explicit ResumeCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

    // "Your last download stopped with 37 tracks left."
    static std::string offerText(std::size_t left);

  private:
    Gtk::Label* text_;
    Gtk::Button* resume_;
};
