#pragma once
#include "ui/ListFeed.hpp"
#include "ui/PanelCard.hpp"

#include <deque>
#include <gtkmm/listview.h>
#include <gtkmm/stringlist.h>
#include <optional>
#include <string>

// The activity log, one monospaced line per entry. It is a ListView over
// the lines, so only the lines on screen have widgets: new lines are
// appended (in steps, see ListFeed) and dropped ones removed from the
// front, and the lines already shown are left alone.
class LogCard : public PanelCard {
  public:
    static constexpr int maxListHeight = 140;

    explicit LogCard(DownloadManager& manager);
    ~LogCard() override;
    void refresh(DownloadManager::Property property) override;

    // The lines shown, oldest first, as drawn (for tests).
    std::size_t lineCount() const { return lines_->get_n_items(); }
    std::string line(std::size_t index) const { return lines_->get_string(guint(index)); }

  private:
    // Drops the lines the manager dropped and shows one step more of the
    // new ones; true when more remain.
    bool update();
    int rowHeight();

    Gtk::ScrolledWindow* scroller_;
    Gtk::ListView* list_;
    Glib::RefPtr<Gtk::StringList> lines_;
    // The manager's lines that are shown, to find what changed.
    std::deque<std::string> shown_;
    std::optional<ListFeed> feed_;
    int rowHeight_ = 0;
};
