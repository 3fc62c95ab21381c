#pragma once
#include "ui/ListFeed.hpp"
#include "ui/PanelCard.hpp"

#include <giomm/liststore.h>
#include <gtkmm/box.h>
#include <gtkmm/button.h>
#include <gtkmm/listview.h>
#include <optional>

class SectionLabel;

// The tracks the last run could not fetch, each with a link to its page
// for a manual download, with buttons to run just them again and to copy
// the list.
//
// A run whose sign-in expires fails every remaining track, so the list may
// be thousands long: it is a ListView, which makes widgets only for the
// rows on screen, over a store that the new failures are appended to. The
// notices of a burst of failures are taken together, and the rows come in
// steps (see ListFeed).
class FailuresCard : public PanelCard {
  public:
    static constexpr int maxListHeight = 150;

    explicit FailuresCard(DownloadManager& manager);
    ~FailuresCard() override;
    void refresh(DownloadManager::Property property) override;

    // The warning and the count, over the list.
    Gtk::Widget& heading() { return *heading_; }
    Gtk::ListView& list() { return *list_; }

    // One failure in the list's store.
    class Entry : public Glib::Object {
      public:
        static Glib::RefPtr<Entry> create(const FailedItem& item);
        const FailedItem item;

      protected:
        explicit Entry(const FailedItem& item);
    };

  private:
    // Brings the heading up to the manager's list, and the store one step
    // closer; true when more rows remain.
    bool update();
    int rowHeight();

    Gtk::Box* heading_;
    SectionLabel* title_;
    Gtk::ScrolledWindow* scroller_;
    Gtk::ListView* list_;
    Gtk::Button* retry_;
    Glib::RefPtr<Gio::ListStore<Entry>> entries_;
    std::optional<ListFeed> feed_;
    int rowHeight_ = 0;
};
