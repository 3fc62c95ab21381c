// The check for a newer version: fetching the update-information document
// with libsoup, then the alert for its answer.
#include "update/UpdateChecker.hpp"

#include "BuildConfig.hpp"
#include "download/SoupCalls.hpp"
#include "model/Origins.hpp"

namespace {

// The document is a small JSON record; a body larger than this is not it,
// and is not read into memory whole.
constexpr std::size_t bodyLimit = 1024 * 1024;

struct Answer {
    bool failed = true;
    std::string body;
};

Task<Answer> fetch(std::string url, unsigned timeoutSeconds) {
    Answer answer;
    // A session of its own has no cache, so every check asks the host.
    GObjectRef<SoupSession> session(
        soup_session_new_with_options("timeout", timeoutSeconds, nullptr));
    GObjectRef<SoupMessage> message(soup_message_new("GET", url.c_str()));
    if (!message)
        co_return answer;
    soup_message_headers_replace(soup_message_get_request_headers(message.get()), "Cache-Control",
                                 "no-cache");
    GObjectRef<GCancellable> cancellable(g_cancellable_new());

    // Wait for the headers; the status does not matter, only the body.
    SendCall send(session.get(), message.get(), cancellable.get());
    GObjectRef<GAsyncResult> sent = co_await send;
    // Any transport failure reads the same to the user, so its details
    // are not kept.
    GObjectRef<GInputStream> body(soup_session_send_finish(session.get(), sent.get(), nullptr));
    if (!body)
        co_return answer;

    std::vector<char> buffer(16 * 1024);
    for (;;) {
        // Wait for the next piece of the body.
        ReadCall read(body.get(), buffer, cancellable.get());
        GObjectRef<GAsyncResult> readResult = co_await read;
        const gssize count = g_input_stream_read_finish(body.get(), readResult.get(), nullptr);
        if (count < 0)
            co_return answer;
        if (count == 0)
            break;
        if (answer.body.size() + std::size_t(count) > bodyLimit) {
            g_cancellable_cancel(cancellable.get());
            co_return answer;
        }
        answer.body.append(buffer.data(), std::size_t(count));
    }
    g_input_stream_close(body.get(), nullptr, nullptr);
    answer.failed = false;
    co_return answer;
}

} // namespace

namespace UpdateChecker {

const std::string& manifestURL() {
    static const std::string url = Origins::current().update + "/wp-json/wp/v2/media/7848";
    return url;
}

std::string currentVersion() {
    const std::string_view version = BuildConfig::version;
    return version.empty() ? "1.0" : std::string(version);
}

Task<UpdateAlert> check(std::string url, std::string current, std::string webOrigin,
                        unsigned timeoutSeconds) {
    const std::string updateOrigin = Origins::originOf(url).value_or("");
    const Answer answer = co_await fetch(std::move(url), timeoutSeconds);
    co_return alertFor(answer.failed, answer.body, current, updateOrigin, webOrigin);
}

Task<UpdateAlert> check() {
    return check(manifestURL(), currentVersion(), Origins::current().web);
}

} // namespace UpdateChecker
