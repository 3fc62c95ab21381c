#include "ui/FailuresCard.hpp"

#include "download/WebAddress.hpp"
#include "ui/Accessibility.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"
#include "ui/SectionLabel.hpp"

#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/image.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/window.h>

using Changed = DownloadManager::Property;

FailuresCard::FailuresCard(DownloadManager& manager) : PanelCard(manager, 10) {
    auto* header = heading_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    header->append(*PanelWidgets::icon("dialog-warning-symbolic", "danger-icon", 12));
    title_ = Gtk::make_managed<SectionLabel>("");
    title_->set_name("failuresTitle");
    header->append(*title_);
    header->append(*PanelWidgets::gap());
    header->append(*PanelWidgets::label("size-11 text-secondary",
                                        "open in Orvo to download manually"));
    append(*header);

    entries_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    entries_->set_name("failures");
    append(*PanelWidgets::scroller(*entries_, 150, "Tracks to download manually"));
    refresh(Changed::failures);
}

void FailuresCard::open(Gtk::Widget& from, const std::string& url) {
    if (!isWebAddress(url))
        return;
    auto* window = dynamic_cast<Gtk::Window*>(from.get_root());
    // Nothing to report if no browser takes it.
    gtk_show_uri(window ? window->gobj() : nullptr, url.c_str(), GDK_CURRENT_TIME);
}

void FailuresCard::refresh(Changed property) {
    if (property != Changed::failures)
        return;
    const std::vector<FailedItem>& failures = manager_.failures();
    set_visible(!failures.empty());
    title_->setText(PanelState::failuresTitle(failures.size()));
    while (auto* child = entries_->get_first_child())
        entries_->remove(*child);
    for (const FailedItem& item : failures) {
        auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
        auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
        auto* title = PanelWidgets::label("size-13 medium text-primary",
                                          DisplayText::name(item.title));
        auto* workspace = PanelWidgets::label("size-11 text-secondary",
                                              DisplayText::name(item.workspace));
        for (auto* label : {title, workspace})
            label->set_ellipsize(Pango::EllipsizeMode::END);
        texts->append(*title);
        texts->append(*workspace);
        texts->set_hexpand(true);
        row->append(*texts);
        if (auto url = item.orvoURL(); url && isWebAddress(*url)) {
            auto* button = Gtk::make_managed<Gtk::Button>("Open in Orvo");
            GhostButtonStyle::apply(*button);
            button->set_valign(Gtk::Align::CENTER);
            Accessibility::setLabel(*button, "Open “" + DisplayText::line(item.title) + "” in Orvo");
            button->signal_clicked().connect([button, url = *url] { open(*button, url); });
            row->append(*button);
        }
        entries_->append(*row);
    }
}
