#pragma once
#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <utility>
#include <vector>

// A plain HTTP client for tests of the stand-in service (libsoup, blocking).
namespace Http {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Answer {
    unsigned status = 0;
    std::string body;
    std::map<std::string, std::string> headers; // names in lower case

    nlohmann::json json() const { return nlohmann::json::parse(body); }
    std::string header(const std::string& name) const;
};

// One request, redirects not followed; the whole body is read. A transport
// error fails the test.
Answer send(const std::string& method, const std::string& address, const Headers& headers = {},
            const std::optional<std::string>& body = std::nullopt,
            const char* contentType = "application/json");

// A download read piece by piece, as the app's downloader reads it.
struct Transfer {
    unsigned status = 0;
    std::int64_t contentLength = -1;
    std::string contentType;
    std::string head;           // the first bytes received
    std::uint64_t received = 0; // bytes of body read
    std::optional<std::string> error;
};

// GETs the address, keeping the first `keep` bytes and stopping after
// `limit` bytes when given; a read idle for `timeoutSeconds` is an error.
Transfer download(const std::string& address, std::size_t keep = 256,
                  std::optional<std::uint64_t> limit = std::nullopt, unsigned timeoutSeconds = 10);

} // namespace Http
