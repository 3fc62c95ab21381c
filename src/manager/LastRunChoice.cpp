#include "manager/LastRunChoice.hpp"

#include "manager/JsonFields.hpp"
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
    LastRunChoice decoded;
    if (!JsonFields::texts(choice, "selected", decoded.selected) ||
        !JsonFields::texts(choice, "known", decoded.known) ||
        !JsonFields::flag(choice, "likedOnly", decoded.likedOnly))
        return std::nullopt;
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
