#pragma once
#include "manager/DownloadManager.hpp"

#include <gtkmm/scrolledwindow.h>
#include <sigc++/connection.h>

class PanelHeader;
class PanelCard;
class WorkspacesCard;
class DestinationCard;
class LogCard;

// The signed-in window: a scrolling column of the header and the cards.
// It keeps nothing of the manager's: every change the manager announces
// goes to the parts that show that property.
class ControlPanel : public Gtk::ScrolledWindow {
  public:
    explicit ControlPanel(DownloadManager& manager);
    ~ControlPanel() override;

    WorkspacesCard& workspacesCard() { return *workspaces_; }
    DestinationCard& destinationCard() { return *destination_; }
    LogCard& logCard() { return *log_; }

  private:
    PanelHeader* header_;
    WorkspacesCard* workspaces_;
    DestinationCard* destination_;
    LogCard* log_;
    std::vector<PanelCard*> cards_;
    sigc::connection changes_;
};
