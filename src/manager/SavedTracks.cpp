#include "manager/SavedTracks.hpp"

#include "download/FileNames.hpp"
#include "manager/PrivateFile.hpp"
#include "manager/StoredPath.hpp"

#include <glib/gstdio.h>

namespace {

using Json = nlohmann::json;

// "/a/b", "/a/b/" and "/a/./b" are the same folder.
std::filesystem::path normalFolder(const std::filesystem::path& folder) {
    std::filesystem::path normal = folder.lexically_normal();
    if (!normal.has_filename() && normal.has_relative_path())
        normal = normal.parent_path();
    return normal;
}

// One name directly inside its folder, as the run writes them: a record
// edited by hand must not lead the run anywhere else.
bool isPlainName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

bool isFor(const Json& destination, const std::filesystem::path& folder) {
    const auto stored = destination.find("folder");
    return stored != destination.end() && stored->is_string() &&
           normalFolder(StoredPath::path(stored->get<std::string>())) == normalFolder(folder);
}

} // namespace

bool SavedTracks::File::matches(const std::optional<FileStamp>& stamp) const {
    return stamp && stamp->size == size && (!modified || *modified == stamp->modified);
}

SavedTracks::SavedTracks(std::filesystem::path recordFile, std::filesystem::path destination)
    : recordFile_(std::move(recordFile)), destination_(std::move(destination)) {
    std::error_code error;
    if (!std::filesystem::exists(std::filesystem::symlink_status(recordFile_, error)))
        return;
    const auto text = PrivateFile::read(recordFile_);
    Json record = text ? Json::parse(*text, nullptr, false) : Json();
    if (!record.is_object() || !record.contains("destinations") ||
        !record["destinations"].is_array()) {
        // Kept for whoever wants to look, and a fresh record starts.
        if (g_rename(recordFile_.c_str(), badFile().c_str()) == 0)
            read_ = Read::setAside;
        return;
    }
    read_ = Read::read;
    for (Json& destination : record["destinations"]) {
        if (!destination.is_object() || !isFor(destination, destination_)) {
            others_.push_back(std::move(destination));
            continue;
        }
        const auto files = destination.find("files");
        if (files == destination.end() || !files->is_array())
            continue;
        for (const Json& entry : *files) {
            try {
                std::string folder = entry.at("folder").get<std::string>();
                File file{entry.at("name").get<std::string>(),
                          entry.at("size").get<std::uintmax_t>(), std::nullopt};
                if (const auto modified = entry.find("modified"); modified != entry.end())
                    file.modified = modified->get<std::int64_t>();
                if (isPlainName(folder) && isPlainName(file.name))
                    folders_[std::move(folder)][entry.at("clip").get<std::string>()] =
                        std::move(file);
            } catch (const Json::exception&) {
                // An entry this app did not write is left out.
            }
        }
    }
}

std::filesystem::path SavedTracks::badFile() const {
    return recordFile_.string() + ".bad";
}

const SavedTracks::File* SavedTracks::find(const std::string& folder,
                                           const std::string& clipId) const {
    const auto inFolder = folders_.find(folder);
    if (inFolder == folders_.end())
        return nullptr;
    const auto found = inFolder->second.find(clipId);
    return found == inFolder->second.end() ? nullptr : &found->second;
}

void SavedTracks::remember(const std::string& folder, const std::string& clipId, File file) {
    // On a disk that ignores case, "Demos/Song.wav" and "demos/SONG.wav"
    // are one file: it belongs to one clip only.
    using FileNames::UsedNames;
    const std::string folderKey = UsedNames::fold(folder), nameKey = UsedNames::fold(file.name);
    for (auto& [otherFolder, clips] : folders_)
        if (UsedNames::fold(otherFolder) == folderKey)
            std::erase_if(clips, [&](const auto& entry) {
                return UsedNames::fold(entry.second.name) == nameKey;
            });
    folders_[folder][clipId] = std::move(file);
    changed_ = true;
}

void SavedTracks::forget(const std::string& folder, const std::string& clipId) {
    const auto inFolder = folders_.find(folder);
    if (inFolder != folders_.end() && inFolder->second.erase(clipId) > 0)
        changed_ = true;
}

bool SavedTracks::save() {
    if (!changed_)
        return true;
    Json entries = Json::array();
    for (const auto& [folder, clips] : folders_)
        for (const auto& [id, file] : clips) {
            Json entry{{"clip", id}, {"folder", folder}, {"name", file.name}, {"size", file.size}};
            if (file.modified)
                entry["modified"] = *file.modified;
            entries.push_back(std::move(entry));
        }
    Json destinations = others_;
    destinations.push_back({{"folder", StoredPath::text(destination_)}, {"files", entries}});
    const Json record{{"destinations", std::move(destinations)}};
    if (!PrivateFile::write(recordFile_,
                            record.dump(-1, ' ', false, Json::error_handler_t::replace)))
        return false;
    changed_ = false;
    return true;
}
