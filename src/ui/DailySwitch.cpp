#include "ui/DailySwitch.hpp"

#include "model/Translation.hpp"
#include "ui/PanelWidgets.hpp"

DailySwitch::DailySwitch(std::shared_ptr<DailyTimer> timer)
    : Gtk::Box(Gtk::Orientation::VERTICAL, 4), timer_(std::move(timer)) {
    auto* row = Gtk::make_managed<Gtk::Box>(Gtk::Orientation::HORIZONTAL, 6);
    switch_ = PanelWidgets::labelledSwitch(*row, "daily", _("Download new tracks every day"),
                                           [this](bool on) {
                                               if (!showing_)
                                                   timer_->setOn(on);
                                           });
    append(*row);
    note_ = PanelWidgets::label("size-11 text-secondary");
    note_->set_name("dailyNote");
    note_->set_wrap(true);
    note_->set_halign(Gtk::Align::END);
    note_->set_justify(Gtk::Justification::RIGHT);
    append(*note_);
    changed_ = timer_->signalChanged().connect([this] { refresh(); });
    refresh();
}

DailySwitch::~DailySwitch() {
    changed_.disconnect();
}

void DailySwitch::refresh() {
    using State = DailyTimer::State;
    const State state = timer_->state();
    const bool on = state == State::on || state == State::turningOn;
    showing_ = true;
    if (switch_->get_active() != on)
        switch_->set_active(on);
    showing_ = false;
    switch_->set_sensitive(state == State::on || state == State::off);

    std::string note = timer_->problem();
    if (state == State::unavailable)
        note = _("Not available here: this computer runs no systemd user session. A cron job "
                 "can run “orvo-wav-downloader --download-new” instead.");
    else if (state == State::notInstalled)
        note = _("Not available: this copy of the app was installed without its daily timer.");
    else if (note.empty() && state == State::on)
        note = _("Once a day, also while the app is closed, into the folder above.");
    PanelWidgets::showLine(*note_, note);
    note_->set_visible(!note.empty());
}
