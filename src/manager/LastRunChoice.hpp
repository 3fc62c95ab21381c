#pragma once
#include "model/Workspace.hpp"

#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The workspaces a download run started from the window chose, and the
// workspaces the library held then, so that a run with nobody watching
// takes the same ones and can tell which workspaces are new since.
struct LastRunChoice {
    std::set<std::string> selected;
    std::set<std::string> known;
    bool likedOnly = true;

    bool operator==(const LastRunChoice&) const = default;

    std::string encode() const;
    // None for text this app did not write.
    static std::optional<LastRunChoice> decode(const std::string& text);

    // last-run.json in the app's data folder.
    static std::filesystem::path fileIn(const std::filesystem::path& dataFolder) {
        return dataFolder / "last-run.json";
    }
    // What an unattended run covers in this library: the workspaces of the
    // choice that are still there, or all of them (when asked, or when no
    // run was ever chosen), and the names of those that are new since.
    struct Coverage {
        std::set<std::string> selected;
        std::vector<std::string> leftOut;
        bool operator==(const Coverage&) const = default;
    };
    static Coverage coverage(const std::optional<LastRunChoice>& choice,
                             const std::vector<Workspace>& library, bool allWorkspaces);

    static std::optional<LastRunChoice> load(const std::filesystem::path& dataFolder);
    void save(const std::filesystem::path& dataFolder) const;
};
