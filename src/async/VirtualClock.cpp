#include "async/VirtualClock.hpp"

#include <algorithm>
#include <cmath>

struct VirtualSleep {
    VirtualClock& clock;
    double until;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        clock.schedule(until, [handle] { handle.resume(); });
    }
    void await_resume() const noexcept {}
};

Date VirtualClock::date() const {
    // A fixed calendar start keeps saved libraries reproducible in tests.
    using namespace std::chrono;
    return Date{sys_days{year{2026} / 1 / 1}} + microseconds{std::llround(now_ * 1e6)};
}

Task<void> VirtualClock::pause(double seconds) {
    pauses_.push_back(seconds);
    VirtualSleep sleep{*this, now_ + std::max(0.0, seconds)};
    co_await sleep;
}

void VirtualClock::at(double time, std::function<void()> action) {
    schedule(time, std::move(action));
}

void VirtualClock::schedule(double time, std::function<void()> action) {
    queue_.push(WakeUp{std::max(time, now_), nextOrder_++, std::move(action)});
}

void VirtualClock::runUntilIdle() {
    while (!queue_.empty()) {
        WakeUp next = queue_.top();
        queue_.pop();
        now_ = next.time;
        next.action();
    }
}
