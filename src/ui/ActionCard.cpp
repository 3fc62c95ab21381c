#include "ui/ActionCard.hpp"

#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"
#include "ui/Badge.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"

using Changed = DownloadManager::Property;

ActionCard::ActionCard(DownloadManager& manager) : PanelCard(manager, 12) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    download_ = Gtk::make_managed<Gtk::Button>();
    download_->set_name("download");
    PrimaryButtonStyle::apply(*download_);
    download_->signal_clicked().connect([this] { startDetached(manager_.start()); });
    cancel_ = Gtk::make_managed<Gtk::Button>(_("Cancel"));
    cancel_->set_name("cancel");
    GhostButtonStyle::apply(*cancel_);
    cancel_->signal_clicked().connect([this] { manager_.cancel(); });
    queued_ = Gtk::make_managed<Badge>();
    queued_->set_name("queued");
    for (Gtk::Widget* widget :
         {static_cast<Gtk::Widget*>(download_), static_cast<Gtk::Widget*>(cancel_)}) {
        widget->set_valign(Gtk::Align::CENTER);
        row->append(*widget);
    }
    row->append(*PanelWidgets::gap());
    row->append(*queued_);
    append(*row);

    progress_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 5);
    bar_ = Gtk::make_managed<Gtk::ProgressBar>();
    bar_->set_name("progress");
    Accessibility::setLabel(*bar_, _("Download progress"));
    overall_ = PanelWidgets::label("size-12 medium text-primary");
    overall_->set_name("overall");
    current_ = PanelWidgets::label("size-11 text-secondary");
    current_->set_name("current");
    for (auto* label : {overall_, current_})
        PanelWidgets::singleLine(*label);
    progress_->append(*bar_);
    progress_->append(*overall_);
    progress_->append(*current_);
    append(*progress_);

    for (Changed property : {Changed::running, Changed::overall, Changed::current,
                             Changed::fraction, Changed::selected})
        refresh(property);
}

void ActionCard::refreshDownload() {
    const bool blocked = PanelState::downloadBlocked(manager_);
    download_->set_sensitive(!blocked);
    download_->set_opacity(blocked ? blockedOpacity : 1.0);
}

void ActionCard::refresh(Changed property) {
    switch (property) {
    case Changed::running:
        download_->set_label(PanelState::downloadLabel(manager_.running()));
        cancel_->set_visible(manager_.running());
        progress_->set_visible(PanelState::progressShown(manager_));
        refreshDownload();
        break;
    case Changed::destFolder:
        refreshDownload();
        break;
    case Changed::selected:
    case Changed::workspaces:
    case Changed::likedOnly:
        refreshDownload();
        queued_->setText(PanelState::queuedBadge(manager_.queuedTrackCount()));
        break;
    case Changed::overall:
        PanelWidgets::showLine(*overall_, manager_.overall());
        progress_->set_visible(PanelState::progressShown(manager_));
        break;
    case Changed::current:
        PanelWidgets::showLine(*current_, manager_.current());
        break;
    case Changed::fraction:
        bar_->set_fraction(manager_.fraction());
        break;
    default:
        break;
    }
}
