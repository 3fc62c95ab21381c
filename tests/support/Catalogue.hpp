#pragma once
// Catalogues for the stand-in service (its --catalogue option).
#include "support/TempDir.hpp"

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

namespace SimTesting {

// A complete clip in workspace P, with these members added or replaced.
inline nlohmann::json clip(const std::string& id, nlohmann::json extra = nlohmann::json::object()) {
    nlohmann::json clip{{"id", id},
                        {"title", "Track " + id},
                        {"status", "complete"},
                        {"is_trashed", false},
                        {"is_liked", false},
                        {"project", {{"id", "P"}, {"name", "Workspace P"}}}};
    clip.update(extra);
    return clip;
}

// Clips c0, c1, … of workspace P.
inline std::vector<nlohmann::json> clips(int count) {
    std::vector<nlohmann::json> all;
    for (int i = 0; i < count; ++i)
        all.push_back(clip("c" + std::to_string(i)));
    return all;
}

// A catalogue file holding these clips, removed with the object.
class CatalogueFile {
  public:
    // Not a json parameter: a braced list of one clip would turn into that
    // clip itself.
    explicit CatalogueFile(std::initializer_list<nlohmann::json> clips)
        : CatalogueFile(std::vector<nlohmann::json>(clips)) {}
    explicit CatalogueFile(const std::vector<nlohmann::json>& clips)
        : path_((folder_ / "catalogue.json").string()) {
        nlohmann::json document{{"clips", nlohmann::json::array()}};
        for (const auto& clip : clips)
            document["clips"].push_back(clip);
        std::ofstream(path_) << document.dump();
    }
    const std::string& path() const { return path_; }

  private:
    TempDir folder_;
    std::string path_;
};

} // namespace SimTesting
