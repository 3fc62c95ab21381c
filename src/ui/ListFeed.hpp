#pragma once
#include <functional>
#include <memory>
#include <gtkmm/widget.h>
#include <sigc++/connection.h>

// Feeds a list view's store in steps, so that a burst of thousands of rows
// never holds up the main loop.
//
// A list view keeps widgets for about the first liveRows rows around what
// is in view, and lays out every new one in the next frame: those come a
// few per frame. Rows further down cost no widget, so they come in large
// steps, one per turn of the main loop.
class ListFeed {
  public:
    static constexpr std::size_t liveRows = 200;
    static constexpr std::size_t rowsPerFrame = 20;
    static constexpr std::size_t rowsPerTurn = 2000;

    // step brings the store closer to what it should show, adding at most
    // rowsFor() rows, and says whether more remain.
    ListFeed(Gtk::Widget& list, std::function<bool()> step);
    ~ListFeed();
    ListFeed(const ListFeed&) = delete;
    ListFeed& operator=(const ListFeed&) = delete;

    // How many rows a step may add to a store of this many.
    static std::size_t rowsFor(std::size_t shown) {
        return shown < liveRows ? rowsPerFrame : rowsPerTurn;
    }

    // Runs the steps, the first ahead of the next frame, until none
    // remain. Requests made meanwhile are taken by the steps under way.
    void request();

  private:
    void next();

    Gtk::Widget& list_;
    std::function<bool()> step_;
    sigc::connection idle_;
    bool ticking_ = false;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};
