#pragma once
#include "ui/PanelCard.hpp"
#include "ui/WorkspaceRow.hpp"

#include <giomm/liststore.h>
#include <gtkmm/label.h>
#include <gtkmm/listview.h>
#include <gtkmm/scrolledwindow.h>
#include <gtkmm/stringlist.h>
#include <gtkmm/switch.h>
#include <set>
#include <vector>

// The scanned workspaces to tick, the "Liked tracks only" switch, and under
// it the switches of the two run options.
//
// The list is a ListView, so only the rows on screen exist. Its model is
// spliced where the library changed, and a change of selection only
// repaints the rows on screen: a library of ten thousand workspaces costs
// no more per change than one of ten.
class WorkspacesCard : public PanelCard {
  public:
    static constexpr int maxListHeight = 240;

    explicit WorkspacesCard(DownloadManager& manager);
    void refresh(DownloadManager::Property property) override;

    Gtk::ListView& list() { return *list_; }

    // Gives the keyboard to the row that last had it (the first row at
    // first), for the panel's tab order, in which the list is one stop.
    bool focusRow();
    // Notes which row has the keyboard, before the focus leaves the list.
    void rememberFocusedRow();

  private:
    void spliceRows();
    void toggle(guint position);
    void toggle(const std::string& workspaceId);
    WorkspaceRow* focusedRow();
    // One row's height, margins included, measured once.
    std::size_t rowHeight();
    static constexpr std::size_t rowMargins = 0; // the row's own margins are measured

    Gtk::Switch* likedOnly_;
    Gtk::Switch* prepareUpcoming_;
    Gtk::Switch* skipSaved_;
    Gtk::Switch* tagFiles_;
    Gtk::Label* empty_;
    Gtk::ScrolledWindow* scroller_;
    Gtk::ListView* list_;
    Glib::RefPtr<Gtk::StringList> ids_;
    // What each row shows, in list order, to find what changed.
    std::vector<WorkspaceRow::Content> rows_;
    std::set<WorkspaceRow*> bound_;
    std::size_t rowHeight_ = 0;
    guint focusedPosition_ = 0;
};
