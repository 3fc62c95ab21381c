#include "ui/ScanCard.hpp"

#include "ui/Accessibility.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"
#include "ui/SectionLabel.hpp"

#include <algorithm>

using Changed = DownloadManager::Property;

ScanCard::ScanCard(DownloadManager& manager) : PanelCard(manager, 10) {
    append(*Gtk::make_managed<SectionLabel>("Library"));

    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    // The stepper: its label, then a linked pair of − and + buttons.
    auto* stepper = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    stepper->set_valign(Gtk::Align::CENTER);
    recent_ = PanelWidgets::label("size-13 text-primary");
    recent_->set_name("recentCount");
    stepper->append(*recent_);
    auto* arrows = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 0);
    arrows->add_css_class("linked");
    fewer_ = Gtk::make_managed<Gtk::Button>();
    fewer_->set_icon_name("list-remove-symbolic");
    fewer_->set_name("fewerRecent");
    Accessibility::setLabel(*fewer_, "Fewer recent workspaces");
    more_ = Gtk::make_managed<Gtk::Button>();
    more_->set_icon_name("list-add-symbolic");
    more_->set_name("moreRecent");
    Accessibility::setLabel(*more_, "More recent workspaces");
    arrows->append(*fewer_);
    arrows->append(*more_);
    stepper->append(*arrows);
    row->append(*stepper);
    row->append(*PanelWidgets::gap());

    scanRecent_ = Gtk::make_managed<Gtk::Button>();
    scanRecent_->set_name("scanRecent");
    PrimaryButtonStyle::apply(*scanRecent_);
    scanAll_ = Gtk::make_managed<Gtk::Button>("Scan all");
    scanAll_->set_name("scanAll");
    GhostButtonStyle::apply(*scanAll_);
    for (auto* button : {scanRecent_, scanAll_}) {
        button->set_valign(Gtk::Align::CENTER);
        row->append(*button);
    }
    append(*row);

    status_ = PanelWidgets::label("size-12 text-secondary");
    status_->set_name("scanStatus");
    status_->set_wrap(true);
    status_->set_wrap_mode(Pango::WrapMode::WORD_CHAR);
    append(*status_);

    fewer_->signal_clicked().connect([this] { step(-recentStep); });
    more_->signal_clicked().connect([this] { step(recentStep); });
    scanRecent_->signal_clicked().connect([this] {
        startDetached(manager_.scan(ScanScope::recent(manager_.recentCount())));
    });
    scanAll_->signal_clicked().connect([this] { startDetached(manager_.scan(ScanScope::full())); });

    refresh(Changed::recentCount);
    refresh(Changed::scanStatus);
}

void ScanCard::step(std::int64_t by) {
    manager_.setRecentCount(std::clamp(manager_.recentCount() + by, minRecent, maxRecent));
}

void ScanCard::refresh(Changed property) {
    switch (property) {
    case Changed::recentCount:
    case Changed::scanning:
    case Changed::running: {
        const std::int64_t count = manager_.recentCount();
        const bool enabled = PanelState::scanControlsEnabled(manager_);
        recent_->set_text(PanelState::recentLabel(count));
        scanRecent_->set_label(PanelState::scanRecentLabel(manager_.scanning(), count));
        fewer_->set_sensitive(enabled && count > minRecent);
        more_->set_sensitive(enabled && count < maxRecent);
        scanRecent_->set_sensitive(enabled);
        scanAll_->set_sensitive(enabled);
        break;
    }
    case Changed::scanStatus:
        status_->set_text(DisplayText::line(manager_.scanStatus()));
        status_->set_visible(!manager_.scanStatus().empty());
        break;
    default:
        break;
    }
}
