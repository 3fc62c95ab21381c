#include "ui/DestinationCard.hpp"

#include "model/Translation.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/PanelState.hpp"
#include "ui/SectionLabel.hpp"

#include <giomm/file.h>
#include <gtkmm/dialog.h>
#include <gtkmm/image.h>
#include <gtkmm/window.h>

using Changed = DownloadManager::Property;

DestinationCard::DestinationCard(DownloadManager& manager) : PanelCard(manager, 10) {
    append(*Gtk::make_managed<SectionLabel>(_("Destination")));
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 10);
    row->append(*PanelWidgets::icon("folder-symbolic", "folder-icon", 16));
    path_ = PanelWidgets::label("size-12");
    path_->set_name("destination");
    path_->set_ellipsize(Pango::EllipsizeMode::MIDDLE);
    path_->set_single_line_mode(true);
    path_->set_hexpand(true);
    row->append(*path_);
    choose_ = Gtk::make_managed<Gtk::Button>(_("Choose…"));
    choose_->set_name("choose");
    GhostButtonStyle::apply(*choose_);
    choose_->set_valign(Gtk::Align::CENTER);
    choose_->signal_clicked().connect([this] { chooseFolder(); });
    row->append(*choose_);
    append(*row);
    refresh(Changed::destFolder);
}

void DestinationCard::chooseFolder() {
    auto* window = dynamic_cast<Gtk::Window*>(get_root());
    chooser_ = Gtk::FileChooserNative::create(
        _(chooserMessage), Gtk::FileChooser::Action::SELECT_FOLDER, _(chooserPrompt), _("Cancel"));
    chooser_->set_modal(true);
    chooser_->set_select_multiple(false);
    if (window)
        chooser_->set_transient_for(*window);
    if (const auto& folder = manager_.destFolder()) {
        try {
            chooser_->set_current_folder(Gio::File::create_for_path(folder->string()));
        } catch (const Glib::Error&) { // the folder is gone: start wherever the chooser likes
        }
    }
    chooser_->signal_response().connect([this](int response) {
        if (response == int(Gtk::ResponseType::ACCEPT)) {
            if (auto file = chooser_->get_file(); file && !file->get_path().empty())
                manager_.setDestFolder(std::filesystem::path(file->get_path()));
        }
        chooser_.reset();
    });
    chooser_->show();
}

void DestinationCard::refresh(Changed property) {
    if (property == Changed::running) {
        choose_->set_sensitive(PanelState::choicesEnabled(manager_));
        return;
    }
    if (property != Changed::destFolder)
        return;
    const auto path = PanelState::destinationPath(manager_);
    path_->set_text(path.value_or(_("No folder selected")));
    path_->set_tooltip_text(path.value_or(""));
    path_->remove_css_class(path ? "text-secondary" : "text-primary");
    path_->add_css_class(path ? "text-primary" : "text-secondary");
}
