#pragma once
#include "model/Workspace.hpp"

#include <gtkmm/box.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <string>

class Badge;

// One row of the workspace list: a check box, the name, the liked badge
// and the track total. The row never changes the selection itself: the
// list toggles it when the row is activated (a click anywhere, Enter or
// Space). The list's own row widget around it is what takes the keyboard
// focus; the row gives it the workspace's name and checked state for
// screen readers, and an action to tick it ("row.toggle"); the check box
// inside stays off the accessibility bus.
class WorkspaceRow : public Gtk::Box {
  public:
    WorkspaceRow();

    // What the row shows: the texts are already made safe for display.
    struct Content {
        std::string id;
        std::string name;
        std::string likedBadge;
        std::string totalText;
        bool operator==(const Content&) const = default;
    };
    static Content contentOf(const Workspace& workspace);

    void show(const Content& content, bool on, guint position);
    void setOn(bool on);
    const std::string& workspaceId() const { return id_; }
    guint position() const { return position_; }
    // The widget that takes the focus for this row.
    Gtk::Widget* focusTarget() { return get_parent(); }

  private:
    // Names the focusable row widget and gives it the checked state.
    void describe();

    std::string id_;
    std::string spokenName_;
    guint position_ = 0;
    Gtk::Widget* actionsOn_ = nullptr; // the row widget given the "row.toggle" action
    bool on_ = false;
    Gtk::CheckButton check_;
    Gtk::Label name_;
    Badge* liked_;
    Gtk::Label total_;
};
