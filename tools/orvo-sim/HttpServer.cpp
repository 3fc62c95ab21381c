#include "HttpServer.hpp"

#include <algorithm>
#include <gio/gio.h>
#include <stdexcept>

Exchange::Exchange(SoupServerMessage* message, const char* path, GHashTable* query, bool tooLarge)
    : message_(message), method_(soup_server_message_get_method(message)), path_(path),
      query_(query), tooLarge_(tooLarge) {}

std::optional<std::string> Exchange::query(const char* name) const {
    if (!query_)
        return std::nullopt;
    const auto* value = static_cast<const char*>(g_hash_table_lookup(query_, name));
    if (!value)
        return std::nullopt;
    return std::string(value);
}

std::optional<std::string> Exchange::between(std::string_view prefix,
                                             std::string_view suffix) const {
    std::string_view path = path_;
    if (!path.starts_with(prefix))
        return std::nullopt;
    path.remove_prefix(prefix.size());
    if (!path.ends_with(suffix))
        return std::nullopt;
    path.remove_suffix(suffix.size());
    if (path.empty())
        return std::nullopt;
    return std::string(path);
}

std::optional<std::string> Exchange::header(const char* name) const {
    const char* value =
        soup_message_headers_get_one(soup_server_message_get_request_headers(message_), name);
    if (!value)
        return std::nullopt;
    return std::string(value);
}

std::optional<std::string> Exchange::cookie(const std::string& name) const {
    const auto line = header("Cookie");
    if (!line)
        return std::nullopt;
    std::string_view rest = *line;
    while (!rest.empty()) {
        const auto end = rest.find(';');
        auto pair = rest.substr(0, end);
        rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        while (!pair.empty() && pair.front() == ' ')
            pair.remove_prefix(1);
        const auto equals = pair.find('=');
        if (equals != std::string_view::npos && pair.substr(0, equals) == name)
            return std::string(pair.substr(equals + 1));
    }
    return std::nullopt;
}

std::optional<std::string> Exchange::contentType() const {
    const char* type = soup_message_headers_get_content_type(
        soup_server_message_get_request_headers(message_), nullptr);
    if (!type)
        return std::nullopt;
    return std::string(type);
}

std::string Exchange::body() const {
    if (tooLarge_)
        return {};
    auto* body = soup_server_message_get_request_body(message_);
    GBytesRef bytes(soup_message_body_flatten(body));
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(bytes.get(), &size));
    return std::string(data ? data : "", size);
}

bool Exchange::fromLoopback() const {
    auto* address = soup_server_message_get_remote_address(message_);
    if (!address || !G_IS_INET_SOCKET_ADDRESS(address))
        return false;
    return g_inet_address_get_is_loopback(
        g_inet_socket_address_get_address(G_INET_SOCKET_ADDRESS(address)));
}

void Exchange::addHeader(const char* name, const std::string& value) {
    soup_message_headers_append(soup_server_message_get_response_headers(message_), name,
                                value.c_str());
}

void Exchange::send(int status, const char* contentType, std::string_view body) {
    // libsoup 3.2 has no phrase of its own for 429.
    soup_server_message_set_status(message_, status, status == 429 ? "Too Many Requests" : nullptr);
    soup_message_headers_replace(soup_server_message_get_response_headers(message_),
                                 "Cache-Control", "no-store");
    soup_server_message_set_response(message_, contentType, SOUP_MEMORY_COPY, body.data(),
                                     body.size());
}

void Exchange::sendJson(int status, const nlohmann::json& value) {
    // Titles may hold anything: replace invalid UTF-8 rather than throw.
    send(status, "application/json",
         value.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

void Exchange::sendHtml(int status, std::string_view html) {
    send(status, "text/html; charset=utf-8", html);
}

void Exchange::redirect(const std::string& location, int status) {
    addHeader("Location", location);
    send(status, "text/plain", "See " + location + "\n");
}

void Exchange::stall() {
    // Nothing is ever written; the client gives up or the program ends.
    soup_server_message_pause(message_);
}

void Exchange::delay(double seconds) {
    // The client may hang up meanwhile; the message then must not be resumed.
    static const char* gone = "orvo-sim-gone";
    auto markGone = +[](SoupServerMessage* message) {
        g_object_set_data(G_OBJECT(message), gone, GINT_TO_POINTER(1));
    };
    g_signal_connect(message_, "disconnected", G_CALLBACK(markGone), nullptr);
    g_signal_connect(message_, "finished", G_CALLBACK(markGone), nullptr);
    soup_server_message_pause(message_);
    g_timeout_add(
        static_cast<guint>(std::min(seconds * 1000, static_cast<double>(G_MAXUINT))),
        [](gpointer data) {
            auto* message = static_cast<SoupServerMessage*>(data);
            if (!g_object_get_data(G_OBJECT(message), gone))
                soup_server_message_unpause(message);
            g_object_unref(message);
            return G_SOURCE_REMOVE;
        },
        g_object_ref(message_));
}

void Exchange::drop() {
    GIOStream* stream = soup_server_message_steal_connection(message_);
    if (stream) {
        g_io_stream_close(stream, nullptr, nullptr);
        g_object_unref(stream);
    }
}

HttpServer::HttpServer(int port, Handler handler)
    : server_(soup_server_new("server-header", "orvo-sim", nullptr)), handler_(std::move(handler)) {
    soup_server_add_early_handler(server_.get(), nullptr, &HttpServer::early, this, nullptr);
    soup_server_add_handler(server_.get(), nullptr, &HttpServer::dispatch, this, nullptr);
    GObjectRef<GInetAddress> loopback(g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4));
    GObjectRef<GSocketAddress> address(g_inet_socket_address_new(loopback.get(), port));
    GError* error = nullptr;
    if (!soup_server_listen(server_.get(), address.get(), SoupServerListenOptions(0), &error)) {
        const GErrorRef owned(error);
        throw std::runtime_error("cannot listen on 127.0.0.1:" + std::to_string(port) + ": " +
                                 error->message);
    }
    GSList* uris = soup_server_get_uris(server_.get());
    const int bound = uris ? g_uri_get_port(static_cast<GUri*>(uris->data)) : port;
    g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    origin_ = "http://127.0.0.1:" + std::to_string(bound);
}

void HttpServer::early(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query,
                       gpointer self) {
    // A body announced as too large is answered now, unread; the status set
    // here keeps libsoup from calling dispatch for it as well.
    auto* headers = soup_server_message_get_request_headers(message);
    if (soup_message_headers_get_encoding(headers) != SOUP_ENCODING_CONTENT_LENGTH ||
        soup_message_headers_get_content_length(headers) <= Exchange::maxBodyBytes)
        return;
    soup_message_body_set_accumulate(soup_server_message_get_request_body(message), FALSE);
    soup_message_headers_replace(soup_server_message_get_response_headers(message), "Connection",
                                 "close");
    Exchange exchange(message, path, query, true);
    static_cast<HttpServer*>(self)->handler_(exchange);
}

void HttpServer::dispatch(SoupServer*, SoupServerMessage* message, const char* path,
                          GHashTable* query, gpointer self) {
    // A body without a length (chunked) is only measured once it is here.
    const bool tooLarge =
        soup_server_message_get_request_body(message)->length > Exchange::maxBodyBytes;
    Exchange exchange(message, path, query, tooLarge);
    static_cast<HttpServer*>(self)->handler_(exchange);
}

std::string escapeHtml(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&#39;";
            break;
        default:
            out += c;
        }
    }
    return out;
}
