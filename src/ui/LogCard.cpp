#include "ui/LogCard.hpp"

#include "ui/DisplayText.hpp"
#include "ui/SectionLabel.hpp"

#include <algorithm>
#include <gtkmm/scrolledwindow.h>

using Changed = DownloadManager::Property;

LogCard::LogCard(DownloadManager& manager) : PanelCard(manager, 8) {
    append(*Gtk::make_managed<SectionLabel>("Activity"));
    lines_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
    lines_->set_name("log");
    append(*PanelWidgets::scroller(*lines_, 140, "Activity log"));
    refresh(Changed::log);
}

void LogCard::refresh(Changed property) {
    if (property != Changed::log)
        return;
    const std::deque<std::string>& log = manager_.log();
    // The log only grows at the end and drops its oldest lines: find how
    // many of the lines shown were dropped (all of them when it was
    // emptied), then add the new ones.
    std::size_t dropped = 0;
    while (dropped < shown_.size()) {
        const std::size_t kept = shown_.size() - dropped;
        if (kept <= log.size() && std::equal(shown_.begin() + std::ptrdiff_t(dropped),
                                             shown_.end(), log.begin()))
            break;
        ++dropped;
    }
    for (std::size_t i = 0; i < dropped; ++i) {
        lines_->remove(*labels_.front());
        labels_.pop_front();
        shown_.pop_front();
    }
    for (std::size_t i = shown_.size(); i < log.size(); ++i) {
        auto* label = PanelWidgets::label("size-11 mono text-secondary", DisplayText::line(log[i]));
        label->set_hexpand(true);
        label->set_wrap(true);
        label->set_wrap_mode(Pango::WrapMode::WORD_CHAR);
        label->set_selectable(false);
        lines_->append(*label);
        labels_.push_back(label);
        shown_.push_back(log[i]);
    }
    set_visible(!log.empty());
}
