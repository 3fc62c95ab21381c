#include "ui/PanelHeader.hpp"

#include "model/Translation.hpp"
#include "ui/LogoMark.hpp"
#include "ui/PanelState.hpp"
#include "ui/PanelWidgets.hpp"

PanelHeader::PanelHeader(DownloadManager& manager)
    : Gtk::Box(Gtk::Orientation::HORIZONTAL, 12), manager_(manager) {
    append(*logoMark(38));
    auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 2);
    texts->set_valign(Gtk::Align::CENTER);
    texts->append(*PanelWidgets::label("size-18 bold text-primary", _("Orvo WAV Downloader")));
    status_ = PanelWidgets::label("size-11 text-secondary");
    status_->set_name("lastScan");
    texts->append(*status_);
    append(*texts);
    append(*PanelWidgets::gap());
    refresh(DownloadManager::Property::lastScanned);
}

void PanelHeader::refresh(DownloadManager::Property property) {
    if (property == DownloadManager::Property::lastScanned)
        status_->set_text(PanelState::lastScanLine(manager_.lastScanned()));
}
