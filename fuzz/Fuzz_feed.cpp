// Any JSON value as the feed script's result: a page or BridgeError.
#include <cstdint>
#include <nlohmann/json.hpp>

#include "session/BridgeError.hpp"
#include "session/FeedPage.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto result = nlohmann::json::parse(data, data + size, nullptr, false);
    if (result.is_discarded())
        return 0;
    try {
        const FeedPage page = FeedPage::fromScriptResult(result);
        if (page.nextCursor && page.nextCursor->empty())
            __builtin_trap();
    } catch (const BridgeError&) {
    }
    return 0;
}
