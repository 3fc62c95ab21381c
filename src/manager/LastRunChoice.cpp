#include "manager/LastRunChoice.hpp"

#include "manager/PrivateFile.hpp"

#include <nlohmann/json.hpp>

using Json = nlohmann::json;

std::string LastRunChoice::encode() const {
    const Json choice{{"selected", selected}, {"known", known}, {"likedOnly", likedOnly}};
    return choice.dump(-1, ' ', false, Json::error_handler_t::replace);
}

std::optional<LastRunChoice> LastRunChoice::decode(const std::string& text) {
    const Json choice = Json::parse(text, nullptr, false);
    if (!choice.is_object())
        return std::nullopt;
    const auto texts = [&](const char* key, std::set<std::string>& into) {
        const auto found = choice.find(key);
        if (found == choice.end() || !found->is_array())
            return false;
        for (const Json& item : *found) {
            if (!item.is_string())
                return false;
            into.insert(item.get<std::string>());
        }
        return true;
    };
    LastRunChoice decoded;
    const auto liked = choice.find("likedOnly");
    if (!texts("selected", decoded.selected) || !texts("known", decoded.known) ||
        liked == choice.end() || !liked->is_boolean())
        return std::nullopt;
    decoded.likedOnly = liked->get<bool>();
    return decoded;
}

std::optional<LastRunChoice> LastRunChoice::load(const std::filesystem::path& dataFolder) {
    const auto text = PrivateFile::read(fileIn(dataFolder));
    return text ? decode(*text) : std::nullopt;
}

void LastRunChoice::save(const std::filesystem::path& dataFolder) const {
    // Not kept, the next unattended run takes every workspace: nothing lost.
    PrivateFile::write(fileIn(dataFolder), encode());
}

LastRunChoice::Coverage LastRunChoice::coverage(const std::optional<LastRunChoice>& choice,
                                                const std::vector<Workspace>& library,
                                                bool allWorkspaces) {
    Coverage coverage;
    for (const Workspace& workspace : library) {
        if (allWorkspaces || !choice || choice->selected.contains(workspace.id))
            coverage.selected.insert(workspace.id);
        else if (!choice->known.contains(workspace.id))
            coverage.leftOut.push_back(workspace.name);
    }
    return coverage;
}
