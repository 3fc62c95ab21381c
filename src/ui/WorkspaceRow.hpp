#pragma once
#include "model/Workspace.hpp"

#include <gtkmm/box.h>
#include <gtkmm/checkbutton.h>
#include <gtkmm/label.h>
#include <string>

class Badge;

// One row of the workspace list: a check box, the name, the liked badge
// and the track total. The row never changes the selection itself: the
// list toggles it when the row is activated (a click anywhere, or Enter).
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

    void show(const Content& content, bool on);
    void setOn(bool on);
    const std::string& workspaceId() const { return id_; }

  private:
    std::string id_;
    Gtk::CheckButton check_;
    Gtk::Label name_;
    Badge* liked_;
    Gtk::Label total_;
};
