#include "ui/ResumeCard.hpp"

#include "model/Translation.hpp"
#include "ui/ButtonStyles.hpp"

using Changed = DownloadManager::Property;

std::string ResumeCard::offerText(std::size_t left) {
    return Translation::counted(std::int64_t(left),
                                // Translators: offered at the next start after a download
                                // was cut short.
                                "Your last download stopped with {count} track left.",
                                "Your last download stopped with {count} tracks left.");
}

ResumeCard::ResumeCard(DownloadManager& manager) : PanelCard(manager, 8) {
    set_name("resumeCard");
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    row->append(*PanelWidgets::icon("view-refresh-symbolic", "folder-icon", 14));
    text_ = PanelWidgets::label("size-13 medium text-primary");
    text_->set_name("resumeText");
    text_->set_wrap(true);
    text_->set_hexpand(true);
    row->append(*text_);
    resume_ = Gtk::make_managed<Gtk::Button>(_("Resume"));
    resume_->set_name("resume");
    PrimaryButtonStyle::apply(*resume_);
    resume_->signal_clicked().connect([this] { startDetached(manager_.resume()); });
    auto* dismiss = Gtk::make_managed<Gtk::Button>(_("Dismiss"));
    dismiss->set_name("dismissResume");
    GhostButtonStyle::apply(*dismiss);
    dismiss->signal_clicked().connect([this] { manager_.dismissUnfinished(); });
    for (Gtk::Button* button : {resume_, dismiss}) {
        button->set_valign(Gtk::Align::CENTER);
        row->append(*button);
    }
    append(*row);
    refresh(Changed::unfinished);
}

void ResumeCard::refresh(Changed property) {
    if (property != Changed::unfinished && property != Changed::running &&
        property != Changed::scanning)
        return;
    const auto& unfinished = manager_.unfinished();
    set_visible(unfinished && !manager_.running());
    if (unfinished)
        text_->set_text(offerText(unfinished->left));
    resume_->set_sensitive(!manager_.scanning());
}
