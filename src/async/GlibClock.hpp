#pragma once
#include <glib.h>

#include "async/Clock.hpp"

// The app's clock: pauses are GLib timeouts on the thread-default main
// context, so a paused task resumes from the main loop.
class GlibClock final : public Clock {
public:
    double now() const override { return double(g_get_monotonic_time()) / 1e6; }
    Date date() const override {
        return std::chrono::time_point_cast<Date::duration>(std::chrono::system_clock::now());
    }
    Task<void> pause(double seconds) override;
};

// Drives the default main context until the task has finished and returns
// its result. For tests, benchmarks and tools; the app runs its loop itself.
template <typename T> T runOnMainLoop(Task<T> task) {
    task.resume();
    while (!task.done())
        g_main_context_iteration(nullptr, TRUE);
    return task.result();
}
