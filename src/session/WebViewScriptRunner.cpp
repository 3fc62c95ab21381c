#include "session/WebViewScriptRunner.hpp"

#include "session/AnswerLimits.hpp"

#include <algorithm>
#include <cmath>
#include <coroutine>
#include <cstdio>
#include <limits>
#include <optional>
#include <utility>

namespace {

std::string timeoutText(double seconds) {
    char text[96];
    std::snprintf(text, sizeof text, "The page script did not finish within %g seconds", seconds);
    return text;
}

bool validText(const std::string& text) {
    // Also refuses embedded NULs, which a GVariant string cannot hold.
    return g_utf8_validate(text.data(), gssize(text.size()), nullptr);
}

// The named arguments as the a{sv} of strings WebKit wants, or none when
// there are none. Floating: the caller sinks it.
GVariant* argumentDictionary(const ScriptArguments& arguments) {
    if (arguments.empty())
        return nullptr;
    GVariantBuilder builder;
    g_variant_builder_init(&builder, G_VARIANT_TYPE_VARDICT);
    for (const auto& [name, value] : arguments)
        g_variant_builder_add(&builder, "{sv}", name.c_str(), g_variant_new_string(value.c_str()));
    return g_variant_builder_end(&builder);
}

} // namespace

// One script call. It settles once: with the page's answer, or with a
// failure from its timer (time-out, page gone). Whatever comes after that
// is dropped. The WebKit callback and the timer each hold a reference, so
// either may come after the awaiting coroutine has moved on.
struct WebViewScriptRunner::Call {
    std::uint64_t document = 0;
    bool settled = false;
    std::coroutine_handle<> waiting;
    guint timer = 0;
    std::string timerReason;
    nlohmann::json value;
    std::optional<std::string> error;

    void succeed(nlohmann::json result) {
        if (settled)
            return;
        value = std::move(result);
        settle();
    }
    void fail(std::string text) {
        if (settled)
            return;
        error = std::move(text);
        settle();
    }
    void settle() {
        settled = true;
        stopTimer();
        if (auto handle = std::exchange(waiting, {}))
            handle.resume();
    }
    void stopTimer() {
        if (timer)
            g_source_remove(std::exchange(timer, 0));
    }

    // Fails the call after the given delay unless it settles first.
    static void failAfter(const std::shared_ptr<Call>& call, double seconds, std::string reason) {
        if (call->settled)
            return;
        call->stopTimer();
        call->timerReason = std::move(reason);
        const double milliseconds =
            seconds > 0 ? std::min(seconds * 1000.0, double(G_MAXUINT)) : 0.0; // NaN too
        call->timer =
            g_timeout_add_full(G_PRIORITY_DEFAULT, guint(std::lround(milliseconds)), &Call::onTimer,
                               new std::shared_ptr<Call>(call), [](gpointer held) {
                                   delete static_cast<std::shared_ptr<Call>*>(held);
                               });
    }
    static gboolean onTimer(gpointer held) {
        const std::shared_ptr<Call> call = *static_cast<std::shared_ptr<Call>*>(held);
        call->timer = 0;
        call->fail(call->timerReason);
        return G_SOURCE_REMOVE;
    }
};

// Suspends until the call settles. If the awaiting coroutine is destroyed
// first, the call forgets it, so a late answer resumes nothing.
struct WebViewScriptRunner::CallAwaiter {
    std::shared_ptr<Call> call;
    bool await_ready() const noexcept { return call->settled; }
    void await_suspend(std::coroutine_handle<> handle) noexcept { call->waiting = handle; }
    void await_resume() const noexcept {}
    ~CallAwaiter() {
        if (call && !call->settled) {
            call->waiting = {};
            call->settled = true;
            call->stopTimer();
        }
    }
};

WebViewScriptRunner::WebViewScriptRunner(WebKitWebView* view, double timeoutSeconds)
    : view_(addRef(view)), timeout_(timeoutSeconds) {
    g_signal_connect(view, "load-changed", G_CALLBACK(&WebViewScriptRunner::onLoadChanged), this);
    g_signal_connect(view, "web-process-terminated",
                     G_CALLBACK(&WebViewScriptRunner::onWebProcessTerminated), this);
}

WebViewScriptRunner::~WebViewScriptRunner() {
    g_signal_handlers_disconnect_by_data(view_.get(), this);
    failPending("The page is gone", std::numeric_limits<std::uint64_t>::max());
}

Task<nlohmann::json> WebViewScriptRunner::run(std::string script, ScriptArguments arguments) {
    CallAwaiter settled{start(script, arguments)};
    co_await settled;
    if (settled.call->error)
        throw ScriptError(*settled.call->error);
    co_return std::move(settled.call->value);
}

std::shared_ptr<WebViewScriptRunner::Call>
WebViewScriptRunner::start(const std::string& script, const ScriptArguments& arguments) {
    auto call = std::make_shared<Call>();
    for (const auto& [name, value] : arguments) {
        if (!validText(name) || !validText(value)) {
            call->fail("Script argument is not valid text");
            return call;
        }
    }

    std::erase_if(pending_, [](const std::weak_ptr<Call>& weak) {
        const auto held = weak.lock();
        return !held || held->settled;
    });
    call->document = document_;
    pending_.push_back(call);

    GVariant* parameters = argumentDictionary(arguments);
    if (parameters)
        g_variant_ref_sink(parameters); // WebKit does not sink it
    webkit_web_view_call_async_javascript_function(
        view_.get(), script.data(), gssize(script.size()), parameters, nullptr, nullptr, nullptr,
        &WebViewScriptRunner::onFinished, new std::shared_ptr<Call>(call));
    if (parameters)
        g_variant_unref(parameters);

    Call::failAfter(call, timeout_, timeoutText(timeout_));
    return call;
}

void WebViewScriptRunner::onFinished(GObject* source, GAsyncResult* result, gpointer held) {
    const std::unique_ptr<std::shared_ptr<Call>> owner(static_cast<std::shared_ptr<Call>*>(held));
    Call& call = **owner;

    GError* rawError = nullptr;
    const GObjectRef<JSCValue> value(webkit_web_view_call_async_javascript_function_finish(
        WEBKIT_WEB_VIEW(source), result, &rawError));
    const GErrorRef error(rawError);
    if (call.settled)
        return; // too late: the caller has had its answer

    if (error) {
        call.fail(error->message ? error->message : "The page script failed");
        return;
    }
    // No JSON text is what a script that returns nothing gives.
    const GCharRef json(value ? jsc_value_to_json(value.get(), 0) : nullptr);
    if (!json) {
        call.succeed(nullptr);
        return;
    }
    // A larger answer is refused before it is parsed, which would take many
    // times its size.
    const std::string_view text(json.get());
    nlohmann::json parsed = text.size() > AnswerLimits::resultBytes
                                ? nlohmann::json(nlohmann::json::value_t::discarded)
                                : nlohmann::json::parse(text, nullptr, false);
    if (parsed.is_discarded())
        call.fail("The page script's result could not be read");
    else
        call.succeed(std::move(parsed));
}

void WebViewScriptRunner::failPending(const char* reason, std::uint64_t beforeDocument) {
    // Failed from a timer rather than here: a signal handler or a
    // destructor is no place to resume the callers.
    for (const auto& weak : pending_) {
        if (const auto call = weak.lock(); call && call->document < beforeDocument)
            Call::failAfter(call, 0, reason);
    }
}

void WebViewScriptRunner::onLoadChanged(WebKitWebView*, WebKitLoadEvent event, gpointer runner) {
    if (event != WEBKIT_LOAD_COMMITTED)
        return;
    auto& self = *static_cast<WebViewScriptRunner*>(runner);
    ++self.document_;
    self.failPending("The page navigated away before the script finished", self.document_);
}

void WebViewScriptRunner::onWebProcessTerminated(WebKitWebView*, WebKitWebProcessTerminationReason,
                                                 gpointer runner) {
    static_cast<WebViewScriptRunner*>(runner)->failPending(
        "The page's web process ended", std::numeric_limits<std::uint64_t>::max());
}
