#pragma once
#include <string>
#include <string_view>

#include "session/OrvoService.hpp"
#include "session/ScriptRunner.hpp"

#include <sigc++/signal.h>

// The service operations as short scripts run in the signed-in page: each
// asks the page's authentication client for a fresh token and calls the
// studio API with it, so the app itself never holds a token.
//
// Every script first checks that the page's document is on the web origin
// (given as the argument webOrigin, as location.origin reads it): a page
// elsewhere could define a sign-in client and a fetch of its own and answer
// for the service. There the probe answers "not signed in" and the other
// operations fail with BridgeError(notLoaded), the per-track ones quietly.
class PageScriptService final : public OrvoService {
public:
    static constexpr const char* notLoaded = "The Orvo page is not loaded";

    PageScriptService(ScriptRunner& runner, std::string apiOrigin, std::string webOrigin);

    // Emitted when a script found the page off the web origin (the runner
    // may also refuse with BridgeError(notLoaded) before running it).
    sigc::signal<void()>& pageNotLoaded() { return pageNotLoaded_; }

    Task<bool> isLoggedIn() override;
    // Whether the page's authentication client has loaded and asked the
    // site about the session, so that a "not signed in" from the probe is
    // the site's answer; false off the web origin.
    Task<bool> clientLoaded();
    Task<FeedPage> feedPage(std::optional<std::string> cursor) override;
    Task<void> convertWav(std::string id) override;
    Task<void> triggerMP3Download(std::string id) override;
    Task<std::optional<std::string>> wavURL(std::string id) override;

    // The script texts as sent, with the API origin filled in.
    struct Scripts {
        std::string isLoggedIn, clientLoaded, feedPage, convertWav, triggerMP3Download, wavURL;
    };
    const Scripts& scripts() const { return scripts_; }

private:
    Task<nlohmann::json> run(const std::string& script, ScriptArguments arguments);

    ScriptRunner& runner_;
    std::string webOrigin_;
    Scripts scripts_;
    sigc::signal<void()> pageNotLoaded_;
};
