#include "ui/ScanCard.hpp"

#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"
#include "ui/SectionLabel.hpp"

#include <gtkmm/adjustment.h>

using Changed = DownloadManager::Property;

ScanCard::ScanCard(DownloadManager& manager) : PanelCard(manager, 10) {
    // Translators: section captions are shown in capitals.
    append(*Gtk::make_managed<SectionLabel>(_("Library")));

    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 12);
    // The stepper: its label, then the count to type or step.
    auto* stepper = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    stepper->set_valign(Gtk::Align::CENTER);
    recent_ = PanelWidgets::label("size-13 text-primary");
    recent_->set_name("recentCount");
    stepper->append(*recent_);
    count_ = Gtk::make_managed<Gtk::SpinButton>(Gtk::Adjustment::create(
        double(manager.recentCount()), double(PanelState::minRecent), double(PanelState::maxRecent),
        double(PanelState::recentStep), double(PanelState::recentStep)));
    count_->set_name("recentStepper");
    count_->set_numeric(true);
    count_->set_snap_to_ticks(true);
    count_->set_valign(Gtk::Align::CENTER);
    Accessibility::setLabel(*count_, _("Recent workspaces"));
    // Its − and + buttons, which GTK leaves unnamed.
    const char* buttonNames[] = {_("Fewer recent workspaces"), _("More recent workspaces")};
    std::size_t named = 0;
    for (auto* part = count_->get_first_child(); part && named < 2; part = part->get_next_sibling())
        if (GTK_IS_BUTTON(part->gobj()))
            Accessibility::setLabel(*part, buttonNames[named++]);
    stepper->append(*count_);
    row->append(*stepper);
    row->append(*PanelWidgets::gap());

    scanRecent_ = Gtk::make_managed<Gtk::Button>();
    scanRecent_->set_name("scanRecent");
    PrimaryButtonStyle::apply(*scanRecent_);
    scanAll_ = Gtk::make_managed<Gtk::Button>(_("Scan all"));
    scanAll_->set_name("scanAll");
    GhostButtonStyle::apply(*scanAll_);
    for (auto* button : {scanRecent_, scanAll_}) {
        button->set_valign(Gtk::Align::CENTER);
        row->append(*button);
    }
    append(*row);

    status_ = PanelWidgets::label("size-12 text-secondary");
    status_->set_name("scanStatus");
    PanelWidgets::singleLine(*status_);
    append(*status_);

    count_->signal_value_changed().connect(
        [this] { manager_.setRecentCount(PanelState::recentCountFrom(count_->get_value())); });
    scanRecent_->signal_clicked().connect(
        [this] { startDetached(manager_.scan(ScanScope::recent(manager_.recentCount()))); });
    scanAll_->signal_clicked().connect([this] { startDetached(manager_.scan(ScanScope::full())); });

    refresh(Changed::recentCount);
    refresh(Changed::scanStatus);
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
        if (count_->get_value() != double(count))
            count_->set_value(double(count));
        count_->set_sensitive(enabled);
        scanRecent_->set_sensitive(enabled);
        scanAll_->set_sensitive(enabled);
        break;
    }
    case Changed::scanStatus:
        PanelWidgets::showLine(*status_, manager_.scanStatus());
        status_->set_visible(!manager_.scanStatus().empty());
        break;
    default:
        break;
    }
}
