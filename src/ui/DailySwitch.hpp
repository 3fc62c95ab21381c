#pragma once
#include "ui/DailyTimer.hpp"

#include <gtkmm/box.h>
#include <gtkmm/label.h>
#include <gtkmm/switch.h>
#include <memory>
#include <sigc++/connection.h>

// "Download new tracks every day": a switch that turns the daily download
// on or off, with a line under it when there is something to say: where
// the tracks go, why the switch cannot work here, or why the last change
// failed. While a change is under way, and where there is no schedule to
// change, the switch cannot be moved.
class DailySwitch : public Gtk::Box {
  public:
    explicit DailySwitch(std::shared_ptr<DailyTimer> timer);
    ~DailySwitch() override;

  private:
    void refresh();

    std::shared_ptr<DailyTimer> timer_;
    Gtk::Switch* switch_;
    Gtk::Label* note_;
    sigc::connection changed_;
    bool showing_ = false; // the switch is moved to show the timer, not by the user
};
