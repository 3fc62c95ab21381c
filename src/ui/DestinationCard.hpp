#pragma once
#include "model/Translation.hpp"
#include "ui/PanelCard.hpp"

#include <gtkmm/button.h>
#include <gtkmm/filechoosernative.h>
#include <gtkmm/label.h>

// Where the workspaces are saved, and the button that picks the folder.
class DestinationCard : public PanelCard {
  public:
    static constexpr const char* chooserMessage =
        N_("Choose where your downloaded workspaces will be saved");
    // Translators: the button that confirms a folder in the folder chooser.
    static constexpr const char* chooserPrompt = N_("Choose");

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
