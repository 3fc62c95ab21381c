#include "ui/FailuresCard.hpp"

#include "download/WebAddress.hpp"
#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"
#include "ui/Browser.hpp"
#include "ui/ButtonStyles.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"
#include "ui/SectionLabel.hpp"

#include <algorithm>
#include <gdkmm/clipboard.h>
#include <gtk/gtk.h>
#include <gtkmm/button.h>
#include <gtkmm/listitem.h>
#include <gtkmm/noselection.h>
#include <gtkmm/signallistitemfactory.h>

using Changed = DownloadManager::Property;

namespace {

// One row: the title over the workspace's name, and the link when there
// is one. Rows are reused for whichever failure scrolls into view.
class FailureRow : public Gtk::Box {
  public:
    FailureRow() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 8) {
        auto* texts = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 1);
        title_ = PanelWidgets::label("size-13 medium text-primary");
        workspace_ = PanelWidgets::label("size-11 text-secondary");
        for (auto* label : {title_, workspace_}) {
            label->set_ellipsize(Pango::EllipsizeMode::END);
            texts->append(*label);
        }
        texts->set_hexpand(true);
        append(*texts);
        open_ = Gtk::make_managed<Gtk::Button>(_("Open in Orvo"));
        GhostButtonStyle::apply(*open_);
        open_->set_valign(Gtk::Align::CENTER);
        open_->signal_clicked().connect([this] { Browser::open(GTK_WIDGET(open_->gobj()), url_); });
        append(*open_);
        set_margin_bottom(6);
    }

    void show(const FailedItem& item) {
        title_->set_text(DisplayText::name(item.title));
        workspace_->set_text(DisplayText::name(item.workspace));
        const auto url = item.orvoURL();
        url_ = url && isLinkAddress(*url) ? *url : std::string();
        open_->set_visible(!url_.empty());
        Accessibility::setLabel(*open_,
                                Translation::fill(_("Open “{title}” in Orvo"),
                                                  {{"title", DisplayText::line(item.title)}}));
    }

  private:
    Gtk::Label* title_;
    Gtk::Label* workspace_;
    Gtk::Button* open_;
    std::string url_;
};

} // namespace

Glib::RefPtr<FailuresCard::Entry> FailuresCard::Entry::create(const FailedItem& item) {
    return Glib::make_refptr_for_instance<Entry>(new Entry(item));
}

FailuresCard::Entry::Entry(const FailedItem& item)
    : Glib::ObjectBase(typeid(Entry)), Glib::Object(), item(item) {}

FailuresCard::FailuresCard(DownloadManager& manager) : PanelCard(manager, 10) {
    auto* header = heading_ = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    header->append(*PanelWidgets::icon("dialog-warning-symbolic", "danger-icon", 12));
    title_ = Gtk::make_managed<SectionLabel>("");
    title_->set_name("failuresTitle");
    header->append(*title_);
    header->append(*PanelWidgets::gap());
    header->append(
        *PanelWidgets::label("size-11 text-secondary", _("open in Orvo to download manually")));
    append(*header);

    // The whole list again, or out of the app for manual work.
    auto* actions = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 8);
    retry_ = Gtk::make_managed<Gtk::Button>(_("Retry Failed Tracks"));
    retry_->set_name("retryFailed");
    PrimaryButtonStyle::apply(*retry_);
    retry_->signal_clicked().connect([this] { startDetached(manager_.retryFailed()); });
    auto* copy = Gtk::make_managed<Gtk::Button>(_("Copy List"));
    copy->set_name("copyFailures");
    GhostButtonStyle::apply(*copy);
    Accessibility::setLabel(*copy, _("Copy the list of tracks to download manually"));
    copy->signal_clicked().connect([this] { get_clipboard()->set_text(manager_.failuresText()); });
    actions->append(*retry_);
    actions->append(*copy);

    entries_ = Gio::ListStore<Entry>::create();
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        item->set_child(*Gtk::make_managed<FailureRow>());
        item->set_activatable(false);
    });
    factory->signal_bind().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto entry = std::dynamic_pointer_cast<Entry>(item->get_item());
        if (auto* row = dynamic_cast<FailureRow*>(item->get_child()); row && entry) {
            row->show(entry->item);
            // The keyboard goes to the link, not to the row around it.
            if (auto* around = row->get_parent())
                around->set_focusable(false);
        }
    });
    list_ = Gtk::make_managed<Gtk::ListView>(Gtk::NoSelection::create(entries_), factory);
    list_->set_name("failures");
    list_->add_css_class("failures");
    Accessibility::setLabel(*list_, _("Tracks to download manually"));
    scroller_ = PanelWidgets::scroller(*list_, maxListHeight, _("Tracks to download manually"));
    append(*scroller_);
    append(*actions);
    feed_.emplace(*list_, [this] { return update(); });
    update();
}

FailuresCard::~FailuresCard() = default;

void FailuresCard::refresh(Changed property) {
    if (property == Changed::failures)
        feed_->request();
    if (property == Changed::running || property == Changed::scanning)
        retry_->set_sensitive(!manager_.running() && !manager_.scanning());
}

int FailuresCard::rowHeight() {
    if (!rowHeight_) {
        FailureRow sample;
        sample.show(FailedItem{"id", "Title", "Workspace"});
        int minimum = 0, natural = 0, ignored = 0;
        sample.measure(Gtk::Orientation::VERTICAL, -1, minimum, natural, ignored, ignored);
        rowHeight_ = std::max(natural, 1);
    }
    return rowHeight_;
}

bool FailuresCard::update() {
    const std::vector<FailedItem>& failures = manager_.failures();
    const guint shown = entries_->get_n_items();
    // A run only appends to the list, and empties it when the next starts.
    const bool appended =
        failures.size() >= shown &&
        (shown == 0 || entries_->get_item(shown - 1)->item == failures[shown - 1]);
    const std::size_t from = appended ? shown : 0;
    const std::size_t to = std::min(failures.size(), from + ListFeed::rowsFor(from));
    std::vector<Glib::RefPtr<Entry>> added;
    added.reserve(to - from);
    for (std::size_t i = from; i < to; ++i)
        added.push_back(Entry::create(failures[i]));
    if (!added.empty() || !appended)
        entries_->splice(guint(from), appended ? 0 : shown, added);

    set_visible(!failures.empty());
    title_->setText(PanelState::failuresTitle(failures.size()));
    // A list view asks for little height of its own: give the area the
    // height of its rows, up to its limit.
    scroller_->set_min_content_height(
        int(std::min<std::size_t>(maxListHeight, failures.size() * std::size_t(rowHeight()))));
    return to < failures.size();
}
