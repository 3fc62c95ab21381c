#pragma once
#include <cstdint>
#include <functional>
#include <queue>
#include <stdexcept>
#include <vector>

#include "async/Clock.hpp"

// A clock for tests: time stands still until every runnable task is
// suspended, then jumps to the next wake-up. Pauses are recorded so that
// tests can check their order and lengths.
class VirtualClock final : public Clock {
public:
    double now() const override { return now_; }
    Date date() const override;
    Task<void> pause(double seconds) override;

    // Every pause requested so far, in seconds, in order.
    const std::vector<double>& pauses() const { return pauses_; }

    // Runs an action at a simulated time (for example a cancel request
    // in the middle of a pause).
    void at(double time, std::function<void()> action);

    // Wakes sleepers in time order until none is left.
    void runUntilIdle();

    // Starts the task, runs the clock until nothing is left to wake, and
    // returns the task's result. A task still waiting then is waiting on
    // something this clock does not drive, which is a test error.
    template <typename T> T run(Task<T> task) {
        task.resume();
        runUntilIdle();
        if (!task.done())
            throw std::logic_error("task still suspended with no wake-up pending");
        return task.result();
    }

private:
    struct WakeUp {
        double time;
        std::uint64_t order;
        std::function<void()> action;
        bool operator>(const WakeUp& other) const {
            return time != other.time ? time > other.time : order > other.order;
        }
    };
    friend struct VirtualSleep;
    void schedule(double time, std::function<void()> action);

    double now_ = 0;
    std::uint64_t nextOrder_ = 0;
    std::vector<double> pauses_;
    std::priority_queue<WakeUp, std::vector<WakeUp>, std::greater<>> queue_;
};
