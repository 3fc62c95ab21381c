#pragma once
#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

// Which clip was saved as which file under one destination folder, so a
// later run can leave alone the files that are still as it saved them. The
// records of every destination share one file in the app's data folder
// (never a file among the user's music), rewritten whole and atomically.
class SavedTracks {
  public:
    struct File {
        std::string folder; // the workspace folder, directly in the destination
        std::string name;   // the file in it
        std::uintmax_t size = 0;
        bool operator==(const File&) const = default;
    };

    // A track the next run is to fetch, and the folder it would go to.
    struct Track {
        std::string id;
        std::string folder;
    };
    // What a run may leave alone: the tracks whose files are in place, and
    // per workspace folder (keyed by FileNames::UsedNames::fold) the names
    // no new file may take.
    struct Keep {
        std::set<std::string> inPlace;
        std::map<std::string, std::vector<std::string>> reserved;
    };

    // Reads what the record file holds for this destination; nothing when
    // the file is missing or damaged.
    SavedTracks(std::filesystem::path recordFile, std::filesystem::path destination);

    // By clip id.
    const std::map<std::string, File>& files() const { return files_; }

    // A track is in place when its recorded file is a regular file in the
    // track's own folder with the recorded size. The names reserved are
    // those of every recorded file still there, except the files of the
    // given tracks that are not in place: those tracks are fetched again
    // and may take their old names back.
    Keep keep(const std::vector<Track>& tracks) const;

    // Records the clip's new file, forgetting any other clip recorded under
    // the same name, and writes the record file. False when it could not be
    // written (the record held here is updated all the same).
    bool remember(const std::string& clipId, File file);

  private:
    std::filesystem::path recordFile_;
    std::filesystem::path destination_;
    std::map<std::string, File> files_;
};
