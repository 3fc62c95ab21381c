#pragma once
// Awaiters for the libsoup and GIO calls the app makes: each starts one
// _async call, and its callback keeps the result for the _finish call and
// resumes the coroutine on the main loop.
//
// Always await them by name (`SendCall send{...}; co_await send;`): GCC 12
// frees a temporary awaiter twice.
#include "async/GLibRef.hpp"

#include <coroutine>
#include <libsoup/soup.h>
#include <vector>

struct AsyncCall {
    std::coroutine_handle<> handle;
    GAsyncResult* result = nullptr;

    bool await_ready() const noexcept { return false; }
    GObjectRef<GAsyncResult> await_resume() noexcept { return GObjectRef<GAsyncResult>(result); }
    static void done(GObject*, GAsyncResult* result, gpointer self) {
        auto* call = static_cast<AsyncCall*>(self);
        call->result = G_ASYNC_RESULT(g_object_ref(result));
        call->handle.resume();
    }
};

// Sends a request; finish with soup_session_send_finish, which gives the
// body stream once the headers are in.
struct SendCall : AsyncCall {
    SoupSession* session;
    SoupMessage* message;
    GCancellable* cancellable;
    SendCall(SoupSession* s, SoupMessage* m, GCancellable* c)
        : session(s), message(m), cancellable(c) {}
    void await_suspend(std::coroutine_handle<> awaiting) {
        handle = awaiting;
        soup_session_send_async(session, message, G_PRIORITY_DEFAULT, cancellable, &AsyncCall::done,
                                static_cast<AsyncCall*>(this));
    }
};

// Reads the next piece of a stream into the buffer; finish with
// g_input_stream_read_finish (0 at the end).
struct ReadCall : AsyncCall {
    GInputStream* stream;
    std::vector<char>& buffer;
    GCancellable* cancellable;
    ReadCall(GInputStream* s, std::vector<char>& b, GCancellable* c)
        : stream(s), buffer(b), cancellable(c) {}
    void await_suspend(std::coroutine_handle<> awaiting) {
        handle = awaiting;
        g_input_stream_read_async(stream, buffer.data(), buffer.size(), G_PRIORITY_DEFAULT,
                                  cancellable, &AsyncCall::done, static_cast<AsyncCall*>(this));
    }
};
