#include "ui/WorkspaceRow.hpp"

#include "ui/Accessibility.hpp"
#include "ui/Badge.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelWidgets.hpp"
#include "ui/PanelState.hpp"

#include <giomm/simpleactiongroup.h>
#include <gtk/gtk.h>

WorkspaceRow::WorkspaceRow() : Gtk::Box(Gtk::Orientation::HORIZONTAL, 10) {
    add_css_class("workspace-row");
    // The check box only shows the state; clicks go to the row.
    check_.set_can_target(false);
    check_.set_focusable(false);
    Accessibility::setHidden(check_, true);
    check_.set_valign(Gtk::Align::CENTER);
    name_.add_css_class("size-14");
    name_.add_css_class("medium");
    name_.add_css_class("text-primary");
    name_.set_xalign(0);
    name_.set_hexpand(true);
    name_.set_ellipsize(Pango::EllipsizeMode::END);
    liked_ = Gtk::make_managed<Badge>();
    total_.add_css_class("size-11");
    total_.add_css_class("text-secondary");
    append(check_);
    append(name_);
    append(*liked_);
    append(total_);
}

WorkspaceRow::Content WorkspaceRow::contentOf(const Workspace& workspace) {
    return {workspace.id, workspace.name, PanelState::likedBadge(workspace),
            PanelState::totalText(workspace)};
}

void WorkspaceRow::show(const Content& content, bool on, guint position) {
    id_ = content.id;
    position_ = position;
    name_.set_text(DisplayText::name(content.name));
    liked_->setText(content.likedBadge);
    total_.set_text(content.totalText);
    set_name("row:" + content.id);
    spokenName_ = DisplayText::line(content.name);
    setOn(on);
}

void WorkspaceRow::setOn(bool on) {
    on_ = on;
    check_.set_active(on);
    if (on)
        add_css_class("on");
    else
        remove_css_class("on");
    describe();
}

void WorkspaceRow::describe() {
    Gtk::Widget* row = focusTarget();
    if (!row)
        return;
    auto* accessible = GTK_ACCESSIBLE(row->gobj());
    Accessibility::setLabel(*row, spokenName_);
    // Assistive technology sees a list item's own actions only: "toggle"
    // ticks or unticks the row as a click or Enter does.
    if (row != actionsOn_) {
        auto actions = Gio::SimpleActionGroup::create();
        actions->add_action("toggle", [this] {
            if (Gtk::Widget* target = focusTarget())
                target->activate_action("list.activate-item",
                                        Glib::Variant<guint32>::create(position_));
        });
        row->insert_action_group("row", actions);
        actionsOn_ = row;
    }
    gtk_accessible_update_state(accessible, GTK_ACCESSIBLE_STATE_CHECKED,
                                on_ ? GTK_ACCESSIBLE_TRISTATE_TRUE : GTK_ACCESSIBLE_TRISTATE_FALSE,
                                -1);
}
