#include "ui/ListFeed.hpp"

#include <glibmm/main.h>

ListFeed::ListFeed(Gtk::Widget& list, std::function<bool()> step)
    : list_(list), step_(std::move(step)) {}

// The list may be gone already (a card's widgets go before its members),
// so a tick still pending is not removed here: it finds the feed gone and
// ends itself.
ListFeed::~ListFeed() {
    idle_.disconnect();
    *alive_ = false;
}

void ListFeed::request() {
    if (idle_.connected() || ticking_)
        return;
    // Ahead of drawing, so the first rows are in the next frame.
    idle_ = Glib::signal_idle().connect(
        [this] {
            idle_.disconnect();
            if (step_())
                next();
            return false;
        },
        Glib::PRIORITY_HIGH_IDLE);
}

void ListFeed::next() {
    // On screen, one step per frame, before its layout; off screen nothing
    // is laid out, and a step per turn is enough.
    if (!list_.get_mapped()) {
        request();
        return;
    }
    ticking_ = true;
    list_.add_tick_callback([this, alive = alive_](const Glib::RefPtr<Gdk::FrameClock>&) {
        if (!*alive)
            return false;
        if (step_())
            return true;
        ticking_ = false;
        return false;
    });
}
