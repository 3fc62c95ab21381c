#pragma once
#include <cstdint>
#include <limits>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

// A plain blocking HTTP client (libsoup) for tests of the stand-in service.
// It leaves redirects for the caller to follow.
namespace Http {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct Options {
    std::uint64_t limit = std::numeric_limits<std::uint64_t>::max(); // body bytes read at most
    unsigned timeoutSeconds = 10; // for a connection or read that stays idle
};

struct Answer {
    unsigned status = 0;                        // 0: no answer at all
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    std::optional<std::string> error; // the transport's, if any

    nlohmann::json json() const { return nlohmann::json::parse(body); }
    std::string header(const std::string& name) const {
        return headers.contains(name) ? headers.at(name) : std::string();
    }
};

// One request. A body is sent as JSON unless the headers name another
// Content-Type.
Answer send(const std::string& method, const std::string& address, const Headers& headers = {},
            const std::optional<std::string>& body = std::nullopt, const Options& options = {});

} // namespace Http
