#pragma once
#include "download/FileNames.hpp"
#include "download/PartFile.hpp"
#include "manager/SavedTracks.hpp"
#include "model/Clips.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <set>
#include <string>

// One workspace's folder during a run: which names are taken, which files
// are the app's own, and which name a finished download gets.
//
// A clip saved here before gets its recorded name again: its file is
// replaced while it is still as the app saved it, and fetched again when it
// is gone. A file changed since is the user's and is kept; the new copy
// takes the next free name. A new clip takes the next free name, never one
// of a file that is there or recorded for another clip of the run.
class WorkspaceFolder {
  public:
    WorkspaceFolder(const std::filesystem::path& destination, std::string name,
                    FileNames::NameRules rules, SavedTracks& record);

    const std::filesystem::path& path() const { return path_; }
    const std::string& name() const { return name_; }

    // Looks at the folder before the run writes to it: every name there is
    // taken, and so are the recorded names of the clips the run will fetch.
    // Records of other clips whose files are gone are forgotten.
    void prepare(const std::set<std::string>& clipIds);

    // The clip's recorded file is here, as the app saved it.
    bool holdsOwnFile(const std::string& clipId) const;

    struct Placed {
        std::string name;
        // The name of the clip's earlier file, which was changed since and
        // so was kept.
        std::optional<std::string> keptChanged;
        // Track details were asked for but the file could not take them.
        bool untagged = false;
        bool operator==(const Placed&) const = default;
    };
    // Moves a finished download of the clip into place and records it; the
    // record hears of the file before it takes its name. Throws WriteError
    // when the disk refuses, RecordError when the record cannot be written.
    Placed place(PartFile& part, const WClip& clip);

  private:
    std::string freshName(PartFile& part, const std::string& title,
                          const std::function<void(const std::string&)>& announce);

    std::filesystem::path path_;
    std::string name_;
    FileNames::NameRules rules_;
    SavedTracks& record_;
    FileNames::UsedNames used_;
};
