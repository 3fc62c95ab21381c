#include "session/PageScriptService.hpp"

#include "session/AnswerLimits.hpp"
#include "session/BridgeError.hpp"
#include "session/PageScripts.hpp"

namespace {

// Puts the API origin into a script as the content of a JS string literal.
std::string withOrigin(std::string_view script, const std::string& origin) {
    static constexpr std::string_view placeholder = "{{apiOrigin}}";
    const std::string quoted = nlohmann::json(origin).dump();
    const std::string literal = quoted.substr(1, quoted.size() - 2);
    std::string text(script);
    for (auto at = text.find(placeholder); at != std::string::npos;
         at = text.find(placeholder, at + literal.size()))
        text.replace(at, placeholder.size(), literal);
    return text;
}

} // namespace

PageScriptService::PageScriptService(ScriptRunner& runner, std::string apiOrigin,
                                     std::string webOrigin)
    : runner_(runner), webOrigin_(std::move(webOrigin)) {
    scripts_.isLoggedIn = PageScripts::isLoggedIn;
    scripts_.clientLoaded = PageScripts::clientLoaded;
    scripts_.feedPage = withOrigin(PageScripts::feedPage, apiOrigin);
    scripts_.convertWav = withOrigin(PageScripts::convertWav, apiOrigin);
    scripts_.triggerMP3Download = withOrigin(PageScripts::triggerMP3Download, apiOrigin);
    scripts_.wavURL = withOrigin(PageScripts::wavURL, apiOrigin);
}

Task<nlohmann::json> PageScriptService::run(const std::string& script, ScriptArguments arguments) {
    arguments["webOrigin"] = webOrigin_;
    try {
        co_return co_await runner_.run(script, std::move(arguments));
    } catch (const ScriptError& error) {
        // The script's own check: a thrown text comes back as it is.
        if (std::string_view(error.what()) != notLoaded)
            throw;
    } catch (const BridgeError& error) {
        if (error.message() != notLoaded)
            throw;
    }
    pageNotLoaded_.emit();
    throw BridgeError(notLoaded);
}

Task<bool> PageScriptService::isLoggedIn() {
    nlohmann::json result;
    try {
        result = co_await run(scripts_.isLoggedIn, ScriptArguments());
    } catch (const BridgeError&) {
        co_return false; // whatever a page elsewhere claims
    }
    co_return result.is_boolean() && result.get<bool>();
}

Task<bool> PageScriptService::clientLoaded() {
    nlohmann::json result;
    try {
        result = co_await run(scripts_.clientLoaded, ScriptArguments());
    } catch (const BridgeError&) {
        co_return false;
    }
    co_return result == true;
}

Task<FeedPage> PageScriptService::feedPage(std::optional<std::string> cursor) {
    // Arguments are named locals: GCC 12 miscompiles braced lists inside
    // a co_await expression.
    ScriptArguments arguments{{"cursor", cursor.value_or("")}};
    const nlohmann::json result = co_await run(scripts_.feedPage, std::move(arguments));
    co_return FeedPage::fromScriptResult(result);
}

Task<void> PageScriptService::convertWav(std::string id) {
    ScriptArguments arguments{{"id", std::move(id)}};
    try {
        co_await run(scripts_.convertWav, std::move(arguments));
    } catch (const std::exception&) {
        // Whether it worked shows only when the WAV address is polled.
    }
}

Task<void> PageScriptService::triggerMP3Download(std::string id) {
    ScriptArguments arguments{{"id", std::move(id)}};
    try {
        co_await run(scripts_.triggerMP3Download, std::move(arguments));
    } catch (const std::exception&) {
        // A prod that fails changes nothing; the poll that follows tells.
    }
}

Task<std::optional<std::string>> PageScriptService::wavURL(std::string id) {
    ScriptArguments arguments{{"id", std::move(id)}};
    nlohmann::json result;
    try {
        result = co_await run(scripts_.wavURL, std::move(arguments));
    } catch (const std::exception&) {
        co_return std::nullopt;
    }
    if (!result.is_string() || result.get_ref<const std::string&>().empty() ||
        result.get_ref<const std::string&>().size() > AnswerLimits::addressBytes)
        co_return std::nullopt;
    co_return result.get<std::string>();
}
