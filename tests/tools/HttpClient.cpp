#include "HttpClient.hpp"

#include "async/GLibRef.hpp"

#include <libsoup/soup.h>

namespace Http {

Answer send(const std::string& method, const std::string& address, const Headers& headers,
            const std::optional<std::string>& body, const Options& options) {
    Answer answer;
    GObjectRef<SoupSession> session(
        soup_session_new_with_options("timeout", options.timeoutSeconds, nullptr));
    GObjectRef<SoupMessage> message(soup_message_new(method.c_str(), address.c_str()));
    if (!message) {
        answer.error = "not an address: " + address;
        return answer;
    }
    soup_message_add_flags(message.get(), SOUP_MESSAGE_NO_REDIRECT);
    if (body) {
        GBytesRef bytes(g_bytes_new(body->data(), body->size()));
        soup_message_set_request_body_from_bytes(message.get(), "application/json", bytes.get());
    }
    auto* requestHeaders = soup_message_get_request_headers(message.get());
    for (const auto& [name, value] : headers)
        soup_message_headers_replace(requestHeaders, name.c_str(), value.c_str());

    GError* error = nullptr;
    GObjectRef<GInputStream> stream(
        soup_session_send(session.get(), message.get(), nullptr, &error));
    if (stream) {
        answer.status = soup_message_get_status(message.get());
        SoupMessageHeadersIter iter;
        const char *name, *value;
        soup_message_headers_iter_init(&iter, soup_message_get_response_headers(message.get()));
        while (soup_message_headers_iter_next(&iter, &name, &value))
            answer.headers[GCharRef(g_ascii_strdown(name, -1)).get()] = value;
        char buffer[1 << 16];
        while (answer.body.size() < options.limit) {
            const auto want =
                std::min<std::uint64_t>(sizeof buffer, options.limit - answer.body.size());
            const gssize got = g_input_stream_read(stream.get(), buffer, want, nullptr, &error);
            if (got <= 0)
                break;
            answer.body.append(buffer, static_cast<std::size_t>(got));
        }
    }
    if (error) {
        answer.error = error->message;
        g_error_free(error);
    }
    return answer;
}

} // namespace Http
