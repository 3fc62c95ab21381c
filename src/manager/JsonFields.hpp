#pragma once

#include <nlohmann/json.hpp>
#include <set>
#include <string>

// Fields of the app's own small JSON files, read strictly: a field that is
// missing or of another type makes the whole file unreadable, never half read.
namespace JsonFields {

// An array of strings under `key`, added to `into`.
inline bool texts(const nlohmann::json& object, const char* key, std::set<std::string>& into) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_array())
        return false;
    for (const nlohmann::json& item : *found) {
        if (!item.is_string())
            return false;
        into.insert(item.get<std::string>());
    }
    return true;
}

inline bool flag(const nlohmann::json& object, const char* key, bool& into) {
    const auto found = object.find(key);
    if (found == object.end() || !found->is_boolean())
        return false;
    into = found->get<bool>();
    return true;
}

} // namespace JsonFields
