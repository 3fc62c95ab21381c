#pragma once
#include <string>
#include <string_view>

#include "session/OrvoService.hpp"
#include "session/ScriptRunner.hpp"

// The service operations as short scripts run in the signed-in page: each
// asks the page's authentication client for a fresh token and calls the
// studio API with it, so the app itself never holds a token.
class PageScriptService final : public OrvoService {
public:
    PageScriptService(ScriptRunner& runner, std::string apiOrigin);

    Task<bool> isLoggedIn() override;
    Task<FeedPage> feedPage(std::optional<std::string> cursor) override;
    Task<void> convertWav(std::string id) override;
    Task<void> triggerMP3Download(std::string id) override;
    Task<std::optional<std::string>> wavURL(std::string id) override;

    // The script texts as sent, with the API origin filled in.
    struct Scripts {
        std::string isLoggedIn, feedPage, convertWav, triggerMP3Download, wavURL;
    };
    const Scripts& scripts() const { return scripts_; }

private:
    ScriptRunner& runner_;
    Scripts scripts_;
};
