#pragma once
#include <sigc++/signal.h>
#include <string>

// The user's daily download of new tracks, as the panel's switch sees it:
// whether it is on, and a request to turn it on or off. The schedule is kept
// by someone else (the user's service manager), so reading and changing it
// take time: the answer comes later, through signalChanged().
class DailyTimer {
  public:
    enum class State {
        reading, // the first answer is not in yet
        off,
        on,
        turningOn, // a request is under way
        turningOff,
        unavailable, // there is nobody to keep a schedule here
        notInstalled // the service manager does not know the timer
    };

    virtual ~DailyTimer() = default;
    virtual State state() const = 0;
    // Why the last request failed, for the user; empty when it did not.
    virtual std::string problem() const = 0;
    // Ignored unless the state is off or on.
    virtual void setOn(bool on) = 0;

    sigc::signal<void()>& signalChanged() { return changed_; }

  protected:
    sigc::signal<void()> changed_;
};
