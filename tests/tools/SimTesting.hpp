#pragma once
// Shared by the stand-in's tests: catalogue files and the API calls the
// app's page scripts make.
#include "HttpClient.hpp"
#include "support/StandInService.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <string>
#include <vector>

namespace SimTesting {

inline Http::Headers bearer(const std::string& token = StandInService::acceptedToken) {
    return {{"Authorization", "Bearer " + token}};
}

// A complete clip in workspace P, with these members added or replaced.
inline nlohmann::json clip(const std::string& id, nlohmann::json extra = nlohmann::json::object()) {
    nlohmann::json clip{{"id", id},
                        {"title", "Track " + id},
                        {"status", "complete"},
                        {"is_trashed", false},
                        {"is_liked", false},
                        {"project", {{"id", "P"}, {"name", "Workspace P"}}}};
    clip.update(extra);
    return clip;
}

// A catalogue file holding these clips, removed with the object.
class CatalogueFile {
  public:
    // Not a json parameter: a braced list of one clip would turn into that
    // clip itself.
    explicit CatalogueFile(std::initializer_list<nlohmann::json> clips)
        : CatalogueFile(std::vector<nlohmann::json>(clips)) {}
    explicit CatalogueFile(const std::vector<nlohmann::json>& clips)
        : path_((folder_ / "catalogue.json").string()) {
        nlohmann::json document{{"clips", nlohmann::json::array()}};
        for (const auto& clip : clips)
            document["clips"].push_back(clip);
        std::ofstream(path_) << document.dump();
    }
    const std::string& path() const { return path_; }

  private:
    TempDir folder_;
    std::string path_;
};

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
