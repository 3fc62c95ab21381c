#include "ui/LogCard.hpp"

#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"
#include "ui/DisplayText.hpp"
#include "ui/SectionLabel.hpp"

#include <algorithm>
#include <gtkmm/listitem.h>
#include <gtkmm/noselection.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/signallistitemfactory.h>
#include <gtkmm/stringobject.h>

using Changed = DownloadManager::Property;

namespace {

Gtk::Label* lineLabel() {
    auto* label = PanelWidgets::label("size-11 mono text-secondary", "Saved: a line");
    label->set_hexpand(true);
    label->set_wrap(true);
    label->set_wrap_mode(Pango::WrapMode::WORD_CHAR);
    label->set_selectable(false);
    label->set_margin_bottom(1);
    return label;
}

} // namespace

LogCard::LogCard(DownloadManager& manager) : PanelCard(manager, 8) {
    append(*Gtk::make_managed<SectionLabel>(_("Activity")));
    lines_ = Gtk::StringList::create({});
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        item->set_child(*lineLabel());
        item->set_activatable(false);
    });
    factory->signal_bind().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto text = std::dynamic_pointer_cast<Gtk::StringObject>(item->get_item());
        if (auto* label = dynamic_cast<Gtk::Label*>(item->get_child()); label && text) {
            label->set_text(text->get_string());
            // Lines are read, not acted on.
            if (auto* around = label->get_parent())
                around->set_focusable(false);
        }
    });
    list_ = Gtk::make_managed<Gtk::ListView>(Gtk::NoSelection::create(lines_), factory);
    list_->set_name("log");
    Accessibility::setLabel(*list_, _("Activity log"));
    list_->add_css_class("log");
    scroller_ = PanelWidgets::scroller(*list_, maxListHeight, _("Activity log"));
    append(*scroller_);
    feed_.emplace(*list_, [this] { return update(); });
    update();
}

LogCard::~LogCard() = default;

int LogCard::rowHeight() {
    if (!rowHeight_) {
        Gtk::Box sample;
        sample.append(*lineLabel());
        int minimum = 0, natural = 0, ignored = 0;
        sample.measure(Gtk::Orientation::VERTICAL, -1, minimum, natural, ignored, ignored);
        rowHeight_ = std::max(natural, 1);
    }
    return rowHeight_;
}

void LogCard::refresh(Changed property) {
    // A run logs in bursts: the lines of one turn of the main loop are
    // shown together.
    if (property == Changed::log)
        feed_->request();
}

bool LogCard::update() {
    const std::deque<std::string>& log = manager_.log();
    // The log only grows at the end and drops its oldest lines: find how
    // many of the lines shown were dropped (all of them when it was
    // emptied), then add the new ones.
    std::size_t dropped = 0;
    while (dropped < shown_.size()) {
        const std::size_t kept = shown_.size() - dropped;
        if (kept <= log.size() && shown_[dropped] == log.front() &&
            std::equal(shown_.begin() + std::ptrdiff_t(dropped), shown_.end(), log.begin()))
            break;
        ++dropped;
    }
    shown_.erase(shown_.begin(), shown_.begin() + std::ptrdiff_t(dropped));
    std::vector<Glib::ustring> added;
    const std::size_t to = std::min(log.size(), shown_.size() + ListFeed::rowsFor(shown_.size()));
    for (std::size_t i = shown_.size(); i < to; ++i) {
        added.emplace_back(
            DisplayText::clipped(DisplayText::composed(log[i]), PanelWidgets::maxLineCharacters));
        shown_.push_back(log[i]);
    }
    lines_->splice(0, guint(dropped), {});
    lines_->splice(lines_->get_n_items(), 0, added);
    scroller_->set_min_content_height(
        int(std::min<std::size_t>(maxListHeight, log.size() * std::size_t(rowHeight()))));
    set_visible(!log.empty());
    return to < log.size();
}
