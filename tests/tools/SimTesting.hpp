#pragma once
// Shared by the stand-in's tests: catalogue files and the API calls the
// app's page scripts make.
#include "HttpClient.hpp"
#include "support/Catalogue.hpp"
#include "support/StandInService.hpp"

#include <string>

namespace SimTesting {

inline Http::Headers bearer(const std::string& token = StandInService::acceptedToken) {
    return {{"Authorization", "Bearer " + token}};
}

inline Http::Answer feed(const StandInService& service, const nlohmann::json& body,
                         const Http::Headers& headers = bearer()) {
    return Http::send("POST", service.apiOrigin() + "/api/feed/v3", headers, body.dump());
}

inline Http::Answer convert(const StandInService& service, const std::string& id) {
    return Http::send("POST", service.apiOrigin() + "/api/gen/" + id + "/convert_wav/", bearer());
}

inline Http::Answer wavFile(const StandInService& service, const std::string& id) {
    return Http::send("GET", service.apiOrigin() + "/api/gen/" + id + "/wav_file/", bearer());
}

// The WAV address once ready, else empty: what the app's poll script returns.
inline std::string wavURL(const StandInService& service, const std::string& id) {
    const auto answer = wavFile(service, id);
    if (answer.status != 200)
        return {};
    const auto json = answer.json();
    return json.contains("wav_file_url") ? json["wav_file_url"].get<std::string>() : std::string();
}

// Both prod routes, one after the other, as the app sends them.
inline void prod(const StandInService& service, const std::string& id) {
    Http::send("GET", service.apiOrigin() + "/api/download/clip/" + id + "?format=mp3", bearer());
    Http::send("POST", service.apiOrigin() + "/api/billing/clips/" + id + "/download/", bearer());
}

} // namespace SimTesting
