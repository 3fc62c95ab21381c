#include "session/FeedPage.hpp"

#include "model/Translation.hpp"
#include "session/BridgeError.hpp"

#include <cmath>

namespace {

std::string textOr(const nlohmann::json& object, const char* key, const char* fallback) {
    auto it = object.find(key);
    return it != object.end() && it->is_string() ? it->get<std::string>() : fallback;
}

bool boolOr(const nlohmann::json& object, const char* key, bool fallback) {
    auto it = object.find(key);
    return it != object.end() && it->is_boolean() ? it->get<bool>() : fallback;
}

// The plain textual form of the status the script put under "error".
std::string plainText(const nlohmann::json& value) {
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_float()) {
        // A whole number prints without a fraction; one beyond the range of
        // an integer cannot be converted, and prints as JSON writes it.
        const double number = value.get<double>();
        constexpr double limit = 9.2e18; // just inside the range of long long
        if (std::abs(number) < limit && number == std::trunc(number))
            return std::to_string(static_cast<long long>(number));
    }
    return value.dump();
}

} // namespace

FeedPage FeedPage::fromScriptResult(const nlohmann::json& result) {
    if (!result.is_object())
        throw BridgeError(_("Could not read library feed"));
    if (auto error = result.find("error"); error != result.end())
        throw BridgeError("Feed HTTP " + plainText(*error));

    FeedPage page;
    if (auto clips = result.find("clips"); clips != result.end() && clips->is_array()) {
        bool allObjects = true;
        for (const auto& item : *clips)
            allObjects = allObjects && item.is_object();
        if (allObjects) {
            page.clips.reserve(clips->size());
            for (const auto& item : *clips)
                page.clips.push_back(RawClip{textOr(item, "id", ""),
                                             textOr(item, "title", "Untitled"),
                                             boolOr(item, "liked", false), textOr(item, "pid", ""),
                                             textOr(item, "pname", "(no workspace)")});
        }
    }
    if (std::string cursor = textOr(result, "nextCursor", ""); !cursor.empty())
        page.nextCursor = std::move(cursor);
    page.hasMore = boolOr(result, "hasMore", false);
    return page;
}
