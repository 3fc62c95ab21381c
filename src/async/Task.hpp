#pragma once
// A small, strict coroutine type for the app's single-threaded async code.
//
// A Task starts lazily and runs when awaited (or when handed to
// startDetached). A task that finishes before it ever suspends hands its
// result straight back to the awaiter, and one that finishes later resumes
// its awaiter by symmetric transfer, so a loop of quick awaits never grows
// the stack, even in builds without tail calls (-O0, sanitizers). Nothing here knows
// about threads or loops: a task resumes wherever the thing it awaits
// resumes it, which in the app is always a GLib main-loop callback and in
// the tests a virtual clock.
#include <coroutine>
#include <cstdio>
#include <exception>
#include <functional>
#include <optional>
#include <utility>
#include <variant>

template <typename T = void> class Task;

namespace task_detail {

struct PromiseBase {
    std::coroutine_handle<> continuation;
    std::exception_ptr error;
    bool detached = false;
    bool runningInline = false; // started by an awaiter that is still on the stack

    std::suspend_always initial_suspend() noexcept { return {}; }

    struct FinalAwaiter {
        bool await_ready() const noexcept { return false; }
        template <typename Promise>
        std::coroutine_handle<> await_suspend(std::coroutine_handle<Promise> self) noexcept {
            PromiseBase& promise = self.promise();
            if (promise.detached) {
                // Nobody owns a detached frame: it frees itself here.
                self.destroy();
                return std::noop_coroutine();
            }
            // An awaiter still on the stack picks up the result itself.
            if (promise.continuation && !promise.runningInline)
                return promise.continuation;
            return std::noop_coroutine();
        }
        void await_resume() const noexcept {}
    };
    FinalAwaiter final_suspend() noexcept { return {}; }

    void unhandled_exception() noexcept;
};

// What a detached task does with an exception nobody can catch.
using UncaughtHandler = std::function<void(std::exception_ptr)>;
UncaughtHandler& uncaughtHandler();

inline void PromiseBase::unhandled_exception() noexcept {
    if (detached) {
        if (auto& handler = uncaughtHandler())
            handler(std::current_exception());
        else
            std::fputs("orvo: an exception escaped a detached task\n", stderr);
        return;
    }
    error = std::current_exception();
}

template <typename T> struct Promise : PromiseBase {
    std::optional<T> value;
    Task<T> get_return_object() noexcept;
    template <typename U> void return_value(U&& v) { value.emplace(std::forward<U>(v)); }
    T take() {
        if (error)
            std::rethrow_exception(error);
        return std::move(*value);
    }
};

template <> struct Promise<void> : PromiseBase {
    Task<void> get_return_object() noexcept;
    void return_void() noexcept {}
    void take() {
        if (error)
            std::rethrow_exception(error);
    }
};

} // namespace task_detail

template <typename T> class [[nodiscard]] Task {
public:
    using promise_type = task_detail::Promise<T>;
    using Handle = std::coroutine_handle<promise_type>;

    Task() = default;
    explicit Task(Handle h) noexcept : handle_(h) {}
    Task(Task&& other) noexcept : handle_(std::exchange(other.handle_, {})) {}
    Task& operator=(Task&& other) noexcept {
        if (this != &other) {
            reset();
            handle_ = std::exchange(other.handle_, {});
        }
        return *this;
    }
    Task(const Task&) = delete;
    Task& operator=(const Task&) = delete;
    ~Task() { reset(); }

    bool valid() const noexcept { return bool(handle_); }
    bool done() const noexcept { return handle_ && handle_.done(); }

    // Awaiting starts the task and resumes the awaiter when it ends.
    auto operator co_await() & noexcept { return Awaiter{handle_}; }
    auto operator co_await() && noexcept { return Awaiter{handle_}; }

    // For drivers (tests, startDetached): start or continue by hand.
    void resume() { handle_.resume(); }
    T result() { return handle_.promise().take(); }
    Handle release() noexcept { return std::exchange(handle_, {}); }

private:
    struct Awaiter {
        Handle handle;
        bool await_ready() const noexcept { return !handle || handle.done(); }
        bool await_suspend(std::coroutine_handle<> awaiting) {
            auto& promise = handle.promise();
            promise.continuation = awaiting;
            promise.runningInline = true;
            handle.resume();
            promise.runningInline = false;
            return !handle.done();
        }
        T await_resume() { return handle.promise().take(); }
    };

    void reset() noexcept {
        if (handle_)
            handle_.destroy();
        handle_ = {};
    }

    Handle handle_;
};

namespace task_detail {
template <typename T> Task<T> Promise<T>::get_return_object() noexcept {
    return Task<T>{std::coroutine_handle<Promise<T>>::from_promise(*this)};
}
inline Task<void> Promise<void>::get_return_object() noexcept {
    return Task<void>{std::coroutine_handle<Promise<void>>::from_promise(*this)};
}
} // namespace task_detail

// Starts a task that nobody awaits (from a button handler, say). It runs
// until its first suspension now and frees itself when it ends. An
// exception that escapes it goes to the handler set with
// setUncaughtTaskHandler, or is printed to stderr.
inline void startDetached(Task<void> task) {
    auto handle = task.release();
    if (!handle)
        return;
    handle.promise().detached = true;
    handle.resume();
}

inline void setUncaughtTaskHandler(task_detail::UncaughtHandler handler) {
    task_detail::uncaughtHandler() = std::move(handler);
}
