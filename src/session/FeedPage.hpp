#pragma once
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "model/Clips.hpp"

// One page of the library feed.
struct FeedPage {
    std::vector<RawClip> clips; // in the server's order
    std::optional<std::string> nextCursor;
    bool hasMore = false;

    bool operator==(const FeedPage&) const = default;

    // Reads what the feed script returned. Throws BridgeError with
    // "Feed HTTP <status>" for an error answer and "Could not read library
    // feed" for anything that is not an object or holds more tracks than
    // AnswerLimits allow; missing or mistyped fields take their defaults,
    // titles and workspace names are cut to the limit, and a track whose id
    // is empty, too long or holds a control character is left out.
    static FeedPage fromScriptResult(const nlohmann::json& result);
};
