#include "manager/UnfinishedRun.hpp"

#include "manager/JsonFields.hpp"
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
    UnfinishedRun decoded;
    if (!run.is_object() || !run.contains("destination") || !run["destination"].is_string() ||
        !JsonFields::texts(run, "selected", decoded.selected) ||
        !JsonFields::texts(run, "clips", decoded.clipIds) ||
        !JsonFields::flag(run, "likedOnly", decoded.likedOnly) ||
        !JsonFields::flag(run, "prepareUpcoming", decoded.prepareUpcoming) ||
        !JsonFields::flag(run, "tagFiles", decoded.tagFiles))
        return std::nullopt;
    decoded.destination = StoredPath::path(run["destination"].get<std::string>());
    if (decoded.destination.empty())
        return std::nullopt;
    decoded.left = decoded.clipIds.size();
    return decoded;
}
