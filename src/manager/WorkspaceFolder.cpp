#include "manager/WorkspaceFolder.hpp"

#include "download/ContentDigest.hpp"
#include "download/WriteError.hpp"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

WorkspaceFolder::WorkspaceFolder(const std::filesystem::path& destination, std::string name,
                                 FileNames::NameRules rules, SavedTracks& record)
    : path_(destination / name), name_(std::move(name)), rules_(rules), record_(record) {}

void WorkspaceFolder::prepare(const std::set<std::string>& clipIds) {
    std::error_code error;
    std::filesystem::directory_iterator entries(path_, error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error))
        used_.insert(entries->path().filename().string());

    std::vector<std::string> goneClips;
    std::vector<std::pair<std::string, SavedTracks::File>> dated;
    if (const auto recorded = record_.folders().find(name_); recorded != record_.folders().end())
        for (const auto& [clipId, file] : recorded->second) {
            // Only a file that is really not there loses its record: one
            // that cannot be looked at just now (no permission, a stale
            // network handle) is still the app's.
            struct stat status {};
            const bool gone = lstat((path_ / file.name).c_str(), &status) != 0 && errno == ENOENT;
            if (clipIds.contains(clipId))
                used_.insert(file.name); // kept for its clip, even while missing
            else if (gone)
                goneClips.push_back(clipId);
            // A record of an earlier version holds the size alone: the time
            // of the file that still has it is taken from now on.
            if (const auto stamp = FileStamp::of(path_ / file.name);
                !file.modified && file.matches(stamp))
                dated.emplace_back(clipId,
                                   SavedTracks::File{file.name, stamp->size, stamp->modified});
        }
    for (const std::string& clipId : goneClips)
        record_.forget(name_, clipId);
    for (auto& [clipId, file] : dated)
        record_.remember(name_, clipId, std::move(file));
}

bool WorkspaceFolder::holdsOwnFile(const std::string& clipId) const {
    const SavedTracks::File* file = record_.find(name_, clipId);
    return file && file->matches(FileStamp::of(path_ / file->name));
}

WorkspaceFolder::Placed WorkspaceFolder::place(PartFile& part, const WClip& clip) {
    // What the record announces before each move, so that a crash at any
    // instant leaves a file the next start knows for the app's own.
    const auto stamp = FileStamp::of(part.path());
    const auto digest = ContentDigest::of(part.path());
    if (!stamp || !digest)
        throw WriteError(part.path(), EIO);
    const auto announce = [&](const std::string& name) {
        record_.intend(name_, clip.id, name, stamp->size, *digest);
    };

    Placed placed;
    if (const SavedTracks::File* file = record_.find(name_, clip.id)) {
        const std::string recorded = file->name;
        std::error_code error;
        const auto status = std::filesystem::symlink_status(path_ / recorded, error);
        if (file->matches(FileStamp::of(path_ / recorded))) {
            announce(recorded);
            part.replace(recorded);
            placed.name = recorded;
        } else if (!std::filesystem::exists(status) &&
                   (announce(recorded), part.moveTo(recorded))) {
            placed.name = recorded;
        } else {
            // Changed since, or something else took the name meanwhile.
            if (std::filesystem::exists(std::filesystem::symlink_status(path_ / recorded, error)))
                placed.keptChanged = recorded;
            used_.insert(recorded);
        }
    }
    if (placed.name.empty())
        placed.name = freshName(part, clip.title, announce);
    used_.insert(placed.name);
    // The announcement on the disk stands for this line until the journal
    // is next synced or folded: a crash before that settles the same way.
    // A record that cannot take it still stops the run; the file stays,
    // known by its announcement.
    if (const auto placedStamp = FileStamp::of(path_ / placed.name))
        record_.remember(name_, clip.id, {placed.name, placedStamp->size, placedStamp->modified});
    else
        record_.forget(name_, clip.id);
    return placed;
}

std::string WorkspaceFolder::freshName(PartFile& part, const std::string& title,
                                       const std::function<void(const std::string&)>& announce) {
    for (;;) {
        std::string name = FileNames::availableName(title, used_, rules_);
        announce(name);
        if (part.moveTo(name))
            return name;
        // Taken since the folder was looked at, or by the same name in
        // other case on a disk that ignores case.
        used_.insert(name);
    }
}
