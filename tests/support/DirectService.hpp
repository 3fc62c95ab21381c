#pragma once
#include "session/OrvoService.hpp"
#include "support/StandInService.hpp"
#include "tools/HttpClient.hpp"

// The stand-in's studio API called directly over HTTP, with the requests
// the page scripts send: the engine against real transfers, without a web
// page. Link stand_in_service.
class DirectService final : public OrvoService {
  public:
    explicit DirectService(std::string api) : api_(std::move(api)) {}

    Task<bool> isLoggedIn() override { co_return true; }

    Task<FeedPage> feedPage(std::optional<std::string> cursor) override {
        const nlohmann::json body = cursor && !cursor->empty() ? nlohmann::json{{"cursor", *cursor}}
                                                               : nlohmann::json{{"page", 0}};
        const auto answer = Http::send("POST", api_ + "/api/feed/v3", auth(), body.dump());
        if (answer.status < 200 || answer.status > 299)
            co_return FeedPage::fromScriptResult({{"error", answer.status}});
        const auto feed = answer.json();
        nlohmann::json clips = nlohmann::json::array();
        for (const auto& c : feed.at("clips")) // every clip here is complete
            clips.push_back({{"id", c.at("id")},
                             {"title", c.at("title")},
                             {"liked", c.at("is_liked")},
                             {"pid", c.at("project").at("id")},
                             {"pname", c.at("project").at("name")}});
        const auto next = feed.value("next_cursor", nlohmann::json());
        co_return FeedPage::fromScriptResult({{"clips", clips},
                                              {"nextCursor", next.is_string() ? next : ""},
                                              {"hasMore", feed.value("has_more", false)}});
    }

    Task<void> convertWav(std::string id) override {
        Http::send("POST", api_ + "/api/gen/" + id + "/convert_wav/", auth());
        co_return;
    }

    Task<void> triggerMP3Download(std::string id) override {
        Http::send("GET", api_ + "/api/download/clip/" + id + "?format=mp3", auth());
        auto headers = auth();
        headers.emplace_back("Content-Type", "application/json");
        Http::send("POST", api_ + "/api/billing/clips/" + id + "/download/", headers);
        co_return;
    }

    Task<std::optional<std::string>> wavURL(std::string id) override {
        const auto answer = Http::send("GET", api_ + "/api/gen/" + id + "/wav_file/", auth());
        if (answer.status < 200 || answer.status > 299)
            co_return std::nullopt;
        const std::string url = answer.json().value("wav_file_url", "");
        co_return url.empty() ? std::nullopt : std::optional(url);
    }

  private:
    static Http::Headers auth() {
        return {{"Authorization", std::string("Bearer ") + StandInService::acceptedToken}};
    }
    std::string api_;
};
