#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "async/Task.hpp"

namespace {

// An event the test fires by hand: whoever awaits it stays suspended until
// fire() is called.
class Event {
public:
    bool await_ready() const noexcept { return fired_; }
    void await_suspend(std::coroutine_handle<> handle) { waiter_ = handle; }
    void await_resume() const noexcept {}
    void fire() {
        fired_ = true;
        if (auto waiter = std::exchange(waiter_, {}))
            waiter.resume();
    }

private:
    bool fired_ = false;
    std::coroutine_handle<> waiter_;
};

// Counts live instances, to see frames being freed.
struct Tracked {
    explicit Tracked(int& live) : live(live) { ++live; }
    ~Tracked() { --live; }
    int& live;
};

Task<int> answer(std::vector<std::string>& trace) {
    trace.push_back("answer");
    co_return 42;
}

Task<int> twice(std::vector<std::string>& trace) {
    trace.push_back("twice begins");
    const int value = co_await answer(trace);
    trace.push_back("twice ends");
    co_return value * 2;
}

Task<void> failing() {
    throw std::runtime_error("boom");
    co_return;
}

Task<std::string> catching() {
    try {
        co_await failing();
    } catch (const std::runtime_error& error) {
        co_return std::string("caught ") + error.what();
    }
    co_return "not thrown";
}

Task<long> deepChain(int depth) {
    if (depth == 0)
        co_return 0;
    co_return 1 + co_await deepChain(depth - 1);
}

} // namespace

TEST(Task, startsOnlyWhenAwaitedRunsInOrderAndPassesExceptionsOn) {
    std::vector<std::string> trace;
    Task<int> task = twice(trace);
    EXPECT_TRUE(trace.empty()) << "a task must not run before it is awaited";
    task.resume();
    ASSERT_TRUE(task.done());
    EXPECT_EQ(task.result(), 84);
    EXPECT_EQ(trace, (std::vector<std::string>{"twice begins", "answer", "twice ends"}));

    Task<std::string> caught = catching();
    caught.resume();
    EXPECT_EQ(caught.result(), "caught boom");
    Task<void> direct = failing();
    direct.resume();
    EXPECT_THROW(direct.result(), std::runtime_error);
}

// Symmetric transfer: neither many quick awaits nor a deep chain of nested
// tasks may grow the stack.
TEST(Task, manyQuickAwaitsAndDeepNestingDoNotGrowTheStack) {
    std::vector<std::string> trace;
    auto loop = [&]() -> Task<long> {
        long sum = 0;
        for (int i = 0; i < 300000; ++i) {
            trace.clear();
            sum += co_await answer(trace);
        }
        co_return sum;
    };
    Task<long> task = loop();
    task.resume();
    EXPECT_EQ(task.result(), 300000L * 42);
    Task<long> deep = deepChain(2000);
    deep.resume();
    EXPECT_EQ(deep.result(), 2000);
}

TEST(Task, destroyingAnUnstartedOrSuspendedTaskFreesItsFrame) {
    int live = 0;
    Event never;
    {
        auto unstarted = []([[maybe_unused]] std::shared_ptr<Tracked> tracked) -> Task<void> {
            co_return;
        };
        auto suspended = [&]() -> Task<void> {
            Tracked local(live);
            co_await never;
        };
        Task<void> first = unstarted(std::make_shared<Tracked>(live));
        Task<void> second = suspended();
        second.resume();
        EXPECT_EQ(live, 2);
        EXPECT_FALSE(second.done());
    }
    EXPECT_EQ(live, 0);
}

TEST(Task, detachedTaskRunsToTheEndFreesItselfAndHandsOnItsException) {
    int live = 0;
    Event event;
    bool finished = false;
    auto body = [](int& live, Event& event, bool& finished) -> Task<void> {
        Tracked local(live);
        co_await event;
        finished = true;
    };
    startDetached(body(live, event, finished));
    EXPECT_EQ(live, 1);
    EXPECT_FALSE(finished);
    event.fire();
    EXPECT_TRUE(finished);
    EXPECT_EQ(live, 0);

    std::string reported;
    setUncaughtTaskHandler([&](std::exception_ptr error) {
        try {
            std::rethrow_exception(error);
        } catch (const std::exception& e) {
            reported = e.what();
        }
    });
    startDetached(failing());
    setUncaughtTaskHandler(nullptr);
    EXPECT_EQ(reported, "boom");
}
