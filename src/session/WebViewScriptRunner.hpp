#pragma once
#include "async/GLibRef.hpp"
#include "session/ScriptRunner.hpp"

#include <cstdint>
#include <memory>
#include <vector>
#include <webkit/webkit.h>

// Runs page scripts in a web view's main frame, in the page's own script
// world, so the page's globals (its authentication client above all) are
// visible. Must be used on the main thread.
//
// WebKit never answers a call whose promise never settles, and answers one
// whose page navigated away only much later, if at all. So every call has a
// time-out after which it fails like a rejected script, and an answer that
// comes later is dropped; a call still pending when the page commits a new
// document fails at once, since its script is gone.
class WebViewScriptRunner final : public ScriptRunner {
  public:
    static constexpr double defaultTimeout = 90;

    explicit WebViewScriptRunner(WebKitWebView* view, double timeoutSeconds = defaultTimeout);
    ~WebViewScriptRunner() override;
    WebViewScriptRunner(const WebViewScriptRunner&) = delete;
    WebViewScriptRunner& operator=(const WebViewScriptRunner&) = delete;

    Task<nlohmann::json> run(std::string script, ScriptArguments arguments) override;

    double timeout() const { return timeout_; }

  private:
    struct Call;
    struct CallAwaiter;
    std::shared_ptr<Call> start(const std::string& script, const ScriptArguments& arguments);
    void failPending(const char* reason, std::uint64_t beforeDocument);

    static void onFinished(GObject* source, GAsyncResult* result, gpointer call);
    static void onLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer runner);
    static void onWebProcessTerminated(WebKitWebView* view, WebKitWebProcessTerminationReason,
                                       gpointer runner);

    GObjectRef<WebKitWebView> view_;
    double timeout_;
    std::uint64_t document_ = 0; // counts the documents the page has committed
    std::vector<std::weak_ptr<Call>> pending_;
};
