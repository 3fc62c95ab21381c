#include "ui/WorkspacesCard.hpp"

#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"
#include "ui/PanelState.hpp"
#include "ui/SectionLabel.hpp"

#include <algorithm>
#include <functional>
#include <gtkmm/eventcontrollerkey.h>
#include <gtkmm/listitem.h>
#include <gtkmm/noselection.h>
#include <gtkmm/root.h>
#include <gtkmm/signallistitemfactory.h>

using Changed = DownloadManager::Property;

namespace {

// Shows the manager's value, and whether the switch may be changed now.
void showSwitch(Gtk::Switch& control, bool on, bool enabled) {
    if (control.get_active() != on)
        control.set_active(on);
    control.set_sensitive(enabled);
}

} // namespace

WorkspacesCard::WorkspacesCard(DownloadManager& manager) : PanelCard(manager, 10) {
    auto* header = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    header->append(*Gtk::make_managed<SectionLabel>(_("Workspaces")));
    likedOnly_ = PanelWidgets::labelledSwitch(*header, "likedOnly", _("Liked tracks only"),
                                              [this](bool on) { manager_.setLikedOnly(on); });
    // The run options sit under it, each on its own row.
    auto* options = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::VERTICAL, 6);
    auto* prepareRow = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    prepareUpcoming_ =
        PanelWidgets::labelledSwitch(*prepareRow, "prepareUpcoming", _("Prepare upcoming tracks"),
                                     [this](bool on) { manager_.setPrepareUpcoming(on); });
    auto* skipRow = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    skipSaved_ = PanelWidgets::labelledSwitch(*skipRow, "skipSaved", _("Skip tracks saved before"),
                                              [this](bool on) { manager_.setSkipSaved(on); });
    auto* tagRow = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    tagFiles_ = PanelWidgets::labelledSwitch(*tagRow, "tagFiles", _("Add track details to files"),
                                             [this](bool on) { manager_.setTagFiles(on); });
    options->append(*header);
    options->append(*prepareRow);
    options->append(*skipRow);
    options->append(*tagRow);
    append(*options);

    empty_ = PanelWidgets::label("size-13 text-secondary");
    empty_->set_name("emptyList");
    empty_->set_wrap(true);
    empty_->set_margin_top(10);
    empty_->set_margin_bottom(10);
    append(*empty_);

    ids_ = Gtk::StringList::create({});
    auto factory = Gtk::SignalListItemFactory::create();
    factory->signal_setup().connect([](const Glib::RefPtr<Gtk::ListItem>& item) {
        item->set_child(*Gtk::make_managed<WorkspaceRow>());
    });
    factory->signal_bind().connect([this](const Glib::RefPtr<Gtk::ListItem>& item) {
        auto* row = dynamic_cast<WorkspaceRow*>(item->get_child());
        const guint position = item->get_position();
        if (!row || position >= rows_.size())
            return;
        const WorkspaceRow::Content& content = rows_[position];
        row->show(content, manager_.selected().contains(content.id), position);
        bound_.insert(row);
    });
    factory->signal_unbind().connect([this](const Glib::RefPtr<Gtk::ListItem>& item) {
        bound_.erase(dynamic_cast<WorkspaceRow*>(item->get_child()));
    });
    list_ = Gtk::make_managed<Gtk::ListView>(Gtk::NoSelection::create(ids_), factory);
    list_->add_css_class("workspaces");
    list_->set_name("workspaceList");
    list_->set_single_click_activate(true);
    Accessibility::setLabel(*list_, _("Workspaces"));
    list_->signal_activate().connect([this](guint position) { toggle(position); });
    // Space ticks the focused row as Enter does.
    auto keys = Gtk::EventControllerKey::create();
    keys->set_propagation_phase(Gtk::PropagationPhase::CAPTURE);
    keys->signal_key_pressed().connect(
        [this](guint key, guint, Gdk::ModifierType) {
            if (key != GDK_KEY_space && key != GDK_KEY_KP_Space)
                return false;
            if (WorkspaceRow* row = focusedRow()) {
                toggle(row->workspaceId());
                return true;
            }
            return false;
        },
        false);
    list_->add_controller(keys);

    scroller_ = PanelWidgets::scroller(*list_, maxListHeight, _("Workspace list"));
    append(*scroller_);

    refresh(Changed::running);
    refresh(Changed::workspaces);
}

std::size_t WorkspacesCard::rowHeight() {
    if (!rowHeight_) {
        WorkspaceRow sample;
        sample.show({"id", "Name", "0 liked", "0 total"}, false, 0);
        int minimum = 0, natural = 0, ignored = 0;
        sample.measure(Gtk::Orientation::VERTICAL, -1, minimum, natural, ignored, ignored);
        rowHeight_ = std::size_t(std::max(natural, 1)) + rowMargins;
    }
    return rowHeight_;
}

void WorkspacesCard::toggle(guint position) {
    if (position < rows_.size())
        toggle(rows_[position].id);
}

void WorkspacesCard::toggle(const std::string& id) {
    if (!PanelState::choicesEnabled(manager_))
        return;
    manager_.select(id, !manager_.selected().contains(id));
}

WorkspaceRow* WorkspacesCard::focusedRow() {
    auto* root = list_->get_root();
    Gtk::Widget* focused = root ? root->get_focus() : nullptr;
    for (WorkspaceRow* row : bound_)
        if (focused && row->focusTarget() == focused)
            return row;
    return nullptr;
}

void WorkspacesCard::rememberFocusedRow() {
    if (WorkspaceRow* row = focusedRow())
        focusedPosition_ = row->position();
}

bool WorkspacesCard::focusRow() {
    if (rows_.empty())
        return false;
    const guint position = std::min<guint>(focusedPosition_, guint(rows_.size() - 1));
    list_->activate_action("list.scroll-to-item", Glib::Variant<guint32>::create(position));
    // The row is there unless it was scrolled far out of view: then the
    // nearest row on screen takes the focus.
    WorkspaceRow* best = nullptr;
    for (WorkspaceRow* row : bound_) {
        const auto distance = [position](WorkspaceRow* r) {
            return r->position() > position ? r->position() - position : position - r->position();
        };
        if (row->focusTarget() && (!best || distance(row) < distance(best)))
            best = row;
    }
    return best && best->focusTarget()->grab_focus();
}

void WorkspacesCard::spliceRows() {
    const std::vector<Workspace>& workspaces = manager_.workspaces();
    std::vector<WorkspaceRow::Content> next;
    next.reserve(workspaces.size());
    for (const Workspace& workspace : workspaces)
        next.push_back(WorkspaceRow::contentOf(workspace));

    // Keep the rows that stayed the same at either end; replace the middle.
    std::size_t front = 0;
    while (front < rows_.size() && front < next.size() && rows_[front] == next[front])
        ++front;
    std::size_t back = 0;
    while (back < rows_.size() - front && back < next.size() - front &&
           rows_[rows_.size() - 1 - back] == next[next.size() - 1 - back])
        ++back;
    const std::size_t removed = rows_.size() - front - back;
    std::vector<Glib::ustring> added;
    added.reserve(next.size() - front - back);
    for (std::size_t i = front; i < next.size() - back; ++i)
        added.emplace_back(next[i].id);
    rows_ = std::move(next);
    if (removed || !added.empty())
        ids_->splice(guint(front), guint(removed), added);
}

void WorkspacesCard::refresh(Changed property) {
    switch (property) {
    case Changed::likedOnly:
    case Changed::prepareUpcoming:
    case Changed::skipSaved:
    case Changed::tagFiles:
    case Changed::running: {
        const bool enabled = PanelState::choicesEnabled(manager_);
        showSwitch(*likedOnly_, manager_.likedOnly(), enabled);
        showSwitch(*prepareUpcoming_, manager_.prepareUpcoming(), enabled);
        showSwitch(*skipSaved_, manager_.skipSaved(), enabled);
        showSwitch(*tagFiles_, manager_.tagFiles(), enabled);
        break;
    }
    case Changed::workspaces:
    case Changed::scanning: {
        if (property == Changed::workspaces)
            spliceRows();
        const bool empty = manager_.workspaces().empty();
        // A list view asks for little height of its own: give the area the
        // height of its rows, up to its limit.
        scroller_->set_min_content_height(
            int(std::min<std::size_t>(maxListHeight, rows_.size() * rowHeight())));
        empty_->set_text(PanelState::emptyListText(manager_.scanning()));
        empty_->set_visible(empty);
        scroller_->set_visible(!empty);
        break;
    }
    case Changed::selected:
        for (WorkspaceRow* row : bound_)
            row->setOn(manager_.selected().contains(row->workspaceId()));
        break;
    default:
        break;
    }
}
