#include <gtest/gtest.h>

#include <chrono>
#include <vector>

#include "async/VirtualClock.hpp"

// The lengths of pauses it records are what the engine's tests assert.
TEST(VirtualClock, sleepersWakeInTimeOrderAndTiesInArrivalOrder) {
    VirtualClock clock;
    std::vector<int> order;
    auto sleeper = [&](double seconds, int tag) -> Task<void> {
        co_await clock.pause(seconds);
        order.push_back(tag);
    };
    startDetached(sleeper(2, 1));
    startDetached(sleeper(1, 2));
    startDetached(sleeper(2, 3));
    clock.at(1.5, [&] { order.push_back(4); });
    const Date before = clock.date();
    clock.runUntilIdle();
    EXPECT_EQ(order, (std::vector<int>{2, 4, 1, 3}));
    EXPECT_DOUBLE_EQ(clock.now(), 2);
    EXPECT_EQ(clock.date() - before, std::chrono::seconds(2)); // the date moves with it
    EXPECT_EQ(clock.pauses(), (std::vector<double>{2, 1, 2}));
}

TEST(VirtualClock, runReportsATaskThatWaitsOnSomethingElse) {
    VirtualClock clock;
    struct Never {
        bool await_ready() const noexcept { return false; }
        void await_suspend(std::coroutine_handle<>) const noexcept {}
        void await_resume() const noexcept {}
    };
    auto body = []() -> Task<void> {
        Never never;
        co_await never;
    };
    EXPECT_THROW(clock.run(body()), std::logic_error);
}
