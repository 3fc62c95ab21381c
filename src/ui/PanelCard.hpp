#pragma once
#include "manager/DownloadManager.hpp"
#include "ui/Card.hpp"
#include "ui/PanelWidgets.hpp"


// A card of the control panel: it reads the manager and redraws the parts
// that depend on a property when that property changes.
class PanelCard : public Card {
  public:
    PanelCard(DownloadManager& manager, int spacing) : Card(spacing), manager_(manager) {}
    virtual void refresh(DownloadManager::Property property) = 0;

  protected:
    DownloadManager& manager_;
};
