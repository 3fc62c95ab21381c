#include "async/GlibClock.hpp"

#include <algorithm>
#include <cmath>

namespace {
struct TimeoutAwaiter {
    guint milliseconds;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> handle) {
        g_timeout_add_full(G_PRIORITY_DEFAULT, milliseconds, &TimeoutAwaiter::fire,
                           handle.address(), nullptr);
    }
    void await_resume() const noexcept {}
    static gboolean fire(gpointer address) {
        std::coroutine_handle<>::from_address(address).resume();
        return G_SOURCE_REMOVE;
    }
};
} // namespace

Task<void> GlibClock::pause(double seconds) {
    TimeoutAwaiter timeout{guint(std::lround(std::max(0.0, seconds) * 1000.0))};
    co_await timeout;
}
