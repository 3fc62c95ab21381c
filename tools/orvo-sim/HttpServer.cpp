#include "HttpServer.hpp"

#include <gio/gio.h>
#include <stdexcept>

Exchange::Exchange(SoupServerMessage* message, const char* path, GHashTable* query)
    : message_(message), method_(soup_server_message_get_method(message)), path_(path),
      query_(query) {}

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
    if (!path.ends_with(suffix)) {
        if (!suffix.ends_with('/') || !path.ends_with(suffix.substr(0, suffix.size() - 1)))
            return std::nullopt;
        suffix.remove_suffix(1);
    }
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

std::string Exchange::body() const {
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
    soup_server_message_set_status(message_, status, nullptr);
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

void Exchange::redirect(const std::string& location) {
    addHeader("Location", location);
    send(SOUP_STATUS_SEE_OTHER, "text/plain", "See " + location + "\n");
}

void Exchange::stall() {
    // Nothing is ever written; the client gives up or the program ends.
    soup_server_message_pause(message_);
}

HttpServer::HttpServer(int port, Handler handler)
    : server_(soup_server_new("server-header", "orvo-sim", nullptr)), handler_(std::move(handler)) {
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

void HttpServer::dispatch(SoupServer*, SoupServerMessage* message, const char* path,
                          GHashTable* query, gpointer self) {
    Exchange exchange(message, path, query);
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
