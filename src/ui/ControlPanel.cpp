#include "ui/ControlPanel.hpp"

#include "ui/ActionCard.hpp"
#include "ui/DestinationCard.hpp"
#include "ui/FailuresCard.hpp"
#include "ui/LogCard.hpp"
#include "ui/PanelHeader.hpp"
#include "ui/ScanCard.hpp"
#include "ui/WorkspacesCard.hpp"

#include <gtkmm/box.h>

ControlPanel::ControlPanel(DownloadManager& manager) {
    set_name("controlPanel");
    set_policy(Gtk::PolicyType::NEVER, Gtk::PolicyType::AUTOMATIC);
    set_vexpand(true);
    set_hexpand(true);
    auto* column = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 14);
    column->set_margin(18);
    header_ = Gtk::make_managed<PanelHeader>(manager);
    column->append(*header_);
    workspaces_ = Gtk::make_managed<WorkspacesCard>(manager);
    destination_ = Gtk::make_managed<DestinationCard>(manager);
    log_ = Gtk::make_managed<LogCard>(manager);
    cards_ = {Gtk::make_managed<ScanCard>(manager), workspaces_, destination_,
              Gtk::make_managed<ActionCard>(manager), Gtk::make_managed<FailuresCard>(manager),
              log_};
    for (PanelCard* card : cards_)
        column->append(*card);
    set_child(*column);

    changes_ = manager.signalChanged().connect([this](DownloadManager::Property property) {
        header_->refresh(property);
        for (PanelCard* card : cards_)
            card->refresh(property);
    });
    // The enabling rules that depend on running and scanning.
    for (auto property : {DownloadManager::Property::running, DownloadManager::Property::scanning})
        for (PanelCard* card : cards_)
            card->refresh(property);
}

ControlPanel::~ControlPanel() { changes_.disconnect(); }
