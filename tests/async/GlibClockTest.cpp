#include <gtest/gtest.h>

#include "async/GlibClock.hpp"

TEST(GlibClock, pausesResumeFromTheMainLoopInOrder) {
    GlibClock clock;
    std::vector<int> order;
    auto sleeper = [&](double seconds, int tag) -> Task<void> {
        co_await clock.pause(seconds);
        order.push_back(tag);
    };
    auto body = [&]() -> Task<double> {
        const double start = clock.now();
        startDetached(sleeper(0.05, 2));
        co_await clock.pause(0.01);
        order.push_back(1);
        co_await clock.pause(0.08);
        co_return clock.now() - start;
    };
    const double elapsed = runOnMainLoop(body());
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
    EXPECT_GE(elapsed, 0.09);
}
