#pragma once
#include "async/Task.hpp"
#include "model/Date.hpp"

// Time as the app's async code sees it. The app uses the GLib main loop's
// clock; the tests use a virtual clock whose pauses finish at once in
// simulated time, so a 45-second poll costs nothing.
class Clock {
public:
    virtual ~Clock() = default;

    // Seconds on a monotonic scale, for measuring elapsed time.
    virtual double now() const = 0;

    // The calendar date and time, for stamping a saved library.
    virtual Date date() const = 0;

    // Suspends the awaiting task for the given number of seconds.
    virtual Task<void> pause(double seconds) = 0;
};
