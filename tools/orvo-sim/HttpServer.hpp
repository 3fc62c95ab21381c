#pragma once
#include "async/GLibRef.hpp"

#include <functional>
#include <libsoup/soup.h>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// One request and its answer, over libsoup's server message.
class Exchange {
  public:
    // Request bodies larger than this are refused before they are read.
    static constexpr goffset maxBodyBytes = 1 << 20;

    Exchange(SoupServerMessage* message, const char* path, GHashTable* query, bool tooLarge);

    SoupServerMessage* message() const { return message_; }
    const std::string& method() const { return method_; }
    // The path, percent-decoded (libsoup decodes it whole, "%2F" included).
    const std::string& path() const { return path_; }
    // What lies between prefix and suffix of the path, or none when the
    // path is not exactly of that form or that part is empty.
    std::optional<std::string> between(std::string_view prefix, std::string_view suffix) const;
    // A query parameter, or none.
    std::optional<std::string> query(const char* name) const;
    std::optional<std::string> header(const char* name) const;
    std::optional<std::string> cookie(const std::string& name) const;
    // The request's media type ("application/json"), without parameters.
    std::optional<std::string> contentType() const;
    std::string body() const;
    // The body is over maxBodyBytes: it was not read, and body() is empty.
    bool tooLarge() const { return tooLarge_; }
    bool fromLoopback() const;

    void addHeader(const char* name, const std::string& value);
    void send(int status, const char* contentType, std::string_view body);
    void sendJson(int status, const nlohmann::json& value);
    void sendHtml(int status, std::string_view html);
    void redirect(const std::string& location, int status = SOUP_STATUS_SEE_OTHER);
    // Leaves the request unanswered for as long as the connection lasts.
    void stall();
    // Holds the answer already set back for this many seconds.
    void delay(double seconds);
    // Closes the connection without an answer.
    void drop();

  private:
    SoupServerMessage* message_;
    std::string method_;
    std::string path_;
    GHashTable* query_;
    bool tooLarge_;
};

// A libsoup server on 127.0.0.1 handing every request to one handler.
class HttpServer {
  public:
    using Handler = std::function<void(Exchange&)>;

    // Listens on the port (0: a free one); throws std::runtime_error when it cannot.
    HttpServer(int port, Handler handler);
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // "http://127.0.0.1:PORT"
    const std::string& origin() const { return origin_; }

  private:
    static void dispatch(SoupServer*, SoupServerMessage* message, const char* path,
                         GHashTable* query, gpointer self);
    static void early(SoupServer*, SoupServerMessage* message, const char* path, GHashTable* query,
                      gpointer self);

    GObjectRef<SoupServer> server_;
    Handler handler_;
    std::string origin_;
};

// Text made safe for HTML element content and attribute values.
std::string escapeHtml(std::string_view text);
