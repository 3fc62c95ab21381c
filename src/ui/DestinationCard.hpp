#pragma once
#include "ui/PanelCard.hpp"

#include <gtkmm/button.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/label.h>

// Where the workspaces are saved, and the button that picks the folder.
class DestinationCard : public PanelCard {
  public:
    static constexpr const char* chooserMessage =
        "Choose where your downloaded workspaces will be saved";
    static constexpr const char* chooserPrompt = "Choose";

    explicit DestinationCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

    // Opens the folder chooser over the panel's window; a confirmed choice
    // becomes the destination, a cancelled one changes nothing.
    void chooseFolder();

  private:
    Gtk::Label* path_;
    Gtk::Button* choose_;
    Glib::RefPtr<Gtk::FileChooserNative> chooser_;
};
