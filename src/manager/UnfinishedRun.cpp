#include "manager/UnfinishedRun.hpp"

#include "manager/StoredPath.hpp"

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

std::string UnfinishedRun::encode() const {
    const Json run{{"destination", StoredPath::text(destination)},
                   {"selected", selected},
                   {"likedOnly", likedOnly},
                   {"prepareUpcoming", prepareUpcoming},
                   {"tagFiles", tagFiles},
                   {"clips", clipIds}};
    return run.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<UnfinishedRun> UnfinishedRun::decode(const std::string& text) {
    const Json run = Json::parse(text, nullptr, false);
    const auto texts = [&](const char* key, std::set<std::string>& into) {
        const auto found = run.find(key);
        if (found == run.end() || !found->is_array())
            return false;
        for (const Json& item : *found) {
            if (!item.is_string())
                return false;
            into.insert(item.get<std::string>());
        }
        return true;
    };
    const auto flag = [&](const char* key, bool& into) {
        const auto found = run.find(key);
        if (found == run.end() || !found->is_boolean())
            return false;
        into = found->get<bool>();
        return true;
    };
    UnfinishedRun decoded;
    if (!run.is_object() || !run.contains("destination") || !run["destination"].is_string() ||
        !texts("selected", decoded.selected) || !texts("clips", decoded.clipIds) ||
        !flag("likedOnly", decoded.likedOnly) ||
        !flag("prepareUpcoming", decoded.prepareUpcoming) || !flag("tagFiles", decoded.tagFiles))
        return std::nullopt;
    decoded.destination = StoredPath::path(run["destination"].get<std::string>());
    if (decoded.destination.empty())
        return std::nullopt;
    decoded.left = decoded.clipIds.size();
    return decoded;
}
