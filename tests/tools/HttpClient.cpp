#include "HttpClient.hpp"

#include <gtest/gtest.h>
#include <libsoup/soup.h>

namespace {

struct Exchange {
    SoupSession* session;
    SoupMessage* message;

    Exchange(const std::string& method, const std::string& address, unsigned timeoutSeconds)
        : session(soup_session_new_with_options("timeout", timeoutSeconds, nullptr)),
          message(soup_message_new(method.c_str(), address.c_str())) {}
    ~Exchange() {
        if (message)
            g_object_unref(message);
        g_object_unref(session);
    }
};

std::map<std::string, std::string> responseHeaders(SoupMessage* message) {
    std::map<std::string, std::string> headers;
    SoupMessageHeadersIter iter;
    const char *name, *value;
    soup_message_headers_iter_init(&iter, soup_message_get_response_headers(message));
    while (soup_message_headers_iter_next(&iter, &name, &value)) {
        char* lower = g_ascii_strdown(name, -1);
        auto& slot = headers[lower];
        slot = slot.empty() ? value : slot + ", " + value;
        g_free(lower);
    }
    return headers;
}

} // namespace

namespace Http {

std::string Answer::header(const std::string& name) const {
    const auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
}

Answer send(const std::string& method, const std::string& address, const Headers& headers,
            const std::optional<std::string>& body, const char* contentType) {
    Exchange exchange(method, address, 10);
    Answer answer;
    if (!exchange.message) {
        ADD_FAILURE() << "not an address: " << address;
        return answer;
    }
    soup_message_add_flags(exchange.message, SOUP_MESSAGE_NO_REDIRECT);
    for (const auto& [name, value] : headers)
        soup_message_headers_replace(soup_message_get_request_headers(exchange.message),
                                     name.c_str(), value.c_str());
    if (body) {
        GBytes* bytes = g_bytes_new(body->data(), body->size());
        soup_message_set_request_body_from_bytes(exchange.message, contentType, bytes);
        g_bytes_unref(bytes);
    }
    GError* error = nullptr;
    GBytes* bytes = soup_session_send_and_read(exchange.session, exchange.message, nullptr, &error);
    if (error) {
        ADD_FAILURE() << method << " " << address << ": " << error->message;
        g_error_free(error);
        return answer;
    }
    answer.status = soup_message_get_status(exchange.message);
    answer.headers = responseHeaders(exchange.message);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes, &size));
    answer.body.assign(data ? data : "", size);
    g_bytes_unref(bytes);
    return answer;
}

Transfer download(const std::string& address, std::size_t keep, std::optional<std::uint64_t> limit,
                  unsigned timeoutSeconds) {
    Exchange exchange("GET", address, timeoutSeconds);
    Transfer transfer;
    GError* error = nullptr;
    GInputStream* stream = soup_session_send(exchange.session, exchange.message, nullptr, &error);
    if (!stream) {
        transfer.error = error->message;
        g_error_free(error);
        return transfer;
    }
    transfer.status = soup_message_get_status(exchange.message);
    auto* headers = soup_message_get_response_headers(exchange.message);
    if (soup_message_headers_get_encoding(headers) == SOUP_ENCODING_CONTENT_LENGTH)
        transfer.contentLength = soup_message_headers_get_content_length(headers);
    if (const char* type = soup_message_headers_get_content_type(headers, nullptr))
        transfer.contentType = type;

    std::vector<char> buffer(1 << 20);
    for (;;) {
        std::size_t want = buffer.size();
        if (limit)
            want =
                static_cast<std::size_t>(std::min<std::uint64_t>(want, *limit - transfer.received));
        if (want == 0)
            break;
        const gssize got = g_input_stream_read(stream, buffer.data(), want, nullptr, &error);
        if (got < 0) {
            transfer.error = error->message;
            g_error_free(error);
            break;
        }
        if (got == 0)
            break;
        if (transfer.head.size() < keep)
            transfer.head.append(buffer.data(), std::min<std::size_t>(static_cast<std::size_t>(got),
                                                                      keep - transfer.head.size()));
        transfer.received += static_cast<std::uint64_t>(got);
    }
    g_object_unref(stream);
    return transfer;
}

} // namespace Http
