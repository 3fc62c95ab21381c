#include "session/FeedPage.hpp"

#include "session/AnswerLimits.hpp"
#include "session/BridgeError.hpp"

#include <cmath>
#include <glib.h>

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

// The text cut to its first characters, between two characters.
std::string cut(std::string text, std::size_t characters) {
    std::size_t seen = 0;
    for (std::size_t at = 0; at < text.size(); ++at)
        if ((static_cast<unsigned char>(text[at]) & 0xc0) != 0x80 && seen++ == characters) {
            text.resize(at);
            break;
        }
    return text;
}

// An id goes into addresses and the saved-track record: one that is empty,
// too long or holds a control character is no id the service gave.
bool usableId(const std::string& id) {
    if (id.empty() || !g_utf8_validate(id.data(), gssize(id.size()), nullptr) ||
        g_utf8_strlen(id.data(), gssize(id.size())) > glong(AnswerLimits::idCharacters))
        return false;
    for (const char* c = id.data(); c < id.data() + id.size(); c = g_utf8_next_char(c))
        if (g_unichar_iscntrl(g_utf8_get_char(c)))
            return false;
    return true;
}

} // namespace

FeedPage FeedPage::fromScriptResult(const nlohmann::json& result) {
    if (!result.is_object())
        throw BridgeError("Could not read library feed");
    if (auto error = result.find("error"); error != result.end())
        throw BridgeError("Feed HTTP " + plainText(*error));

    FeedPage page;
    if (auto clips = result.find("clips"); clips != result.end() && clips->is_array()) {
        if (clips->size() > AnswerLimits::tracksPerPage)
            throw BridgeError("Could not read library feed");
        bool allObjects = true;
        for (const auto& item : *clips)
            allObjects = allObjects && item.is_object();
        if (allObjects) {
            page.clips.reserve(clips->size());
            for (const auto& item : *clips) {
                RawClip clip{
                    textOr(item, "id", ""),
                    cut(textOr(item, "title", "Untitled"), AnswerLimits::textCharacters),
                    boolOr(item, "liked", false), textOr(item, "pid", ""),
                    cut(textOr(item, "pname", "(no workspace)"), AnswerLimits::textCharacters)};
                if (usableId(clip.id))
                    page.clips.push_back(std::move(clip));
            }
        }
    }
    if (std::string cursor = textOr(result, "nextCursor", ""); !cursor.empty())
        page.nextCursor = std::move(cursor);
    page.hasMore = boolOr(result, "hasMore", false);
    return page;
}
