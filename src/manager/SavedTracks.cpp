#include "manager/SavedTracks.hpp"

#include "download/FileNames.hpp"
#include "manager/PrivateFile.hpp"
#include "manager/StoredPath.hpp"

#include <algorithm>
#include <nlohmann/json.hpp>

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

Json readRecord(const std::filesystem::path& file) {
    const auto text = PrivateFile::read(file);
    Json record = text ? Json::parse(*text, nullptr, false) : Json();
    if (!record.is_object() || !record["destinations"].is_array())
        record = {{"destinations", Json::array()}};
    return record;
}

bool isFor(const Json& destination, const std::filesystem::path& folder) {
    const Json& stored = destination.is_object() ? destination.value("folder", Json()) : Json();
    return stored.is_string() &&
           normalFolder(StoredPath::path(stored.get<std::string>())) == normalFolder(folder);
}

std::string folded(const SavedTracks::File& file) {
    return FileNames::UsedNames::fold(file.folder) + '/' + FileNames::UsedNames::fold(file.name);
}

} // namespace

SavedTracks::SavedTracks(std::filesystem::path recordFile, std::filesystem::path destination)
    : recordFile_(std::move(recordFile)), destination_(std::move(destination)) {
    const Json record = readRecord(recordFile_);
    for (const Json& destination : record.at("destinations")) {
        if (!isFor(destination, destination_) || !destination.contains("files") ||
            !destination.at("files").is_array())
            continue;
        for (const Json& entry : destination.at("files")) {
            try {
                File file{entry.at("folder").get<std::string>(),
                          entry.at("name").get<std::string>(),
                          entry.at("size").get<std::uintmax_t>()};
                if (isPlainName(file.folder) && isPlainName(file.name))
                    files_[entry.at("clip").get<std::string>()] = std::move(file);
            } catch (const Json::exception&) {
                // An entry this app did not write is left out.
            }
        }
    }
}

SavedTracks::Keep SavedTracks::keep(const std::vector<Track>& tracks) const {
    Keep keep;
    std::set<std::string> fetchedAgain;
    for (const Track& track : tracks) {
        const auto found = files_.find(track.id);
        if (found == files_.end())
            continue;
        const File& file = found->second;
        std::error_code error;
        const auto path = destination_ / file.folder / file.name;
        const bool inPlace = file.folder == track.folder &&
                             std::filesystem::symlink_status(path, error).type() ==
                                 std::filesystem::file_type::regular &&
                             std::filesystem::file_size(path, error) == file.size && !error;
        if (inPlace)
            keep.inPlace.insert(track.id);
        else
            fetchedAgain.insert(track.id);
    }
    for (const auto& [id, file] : files_) {
        std::error_code error;
        if (fetchedAgain.contains(id) || !std::filesystem::exists(std::filesystem::symlink_status(
                                             destination_ / file.folder / file.name, error)))
            continue;
        keep.reserved[FileNames::UsedNames::fold(file.folder)].push_back(file.name);
    }
    return keep;
}

bool SavedTracks::remember(const std::string& clipId, File file) {
    const std::string key = folded(file);
    std::erase_if(files_, [&](const auto& entry) { return folded(entry.second) == key; });
    files_[clipId] = std::move(file);

    // Other destinations' records are kept as the file holds them now.
    Json record = readRecord(recordFile_);
    Json& destinations = record["destinations"];
    destinations.erase(std::remove_if(destinations.begin(), destinations.end(),
                                      [&](const Json& d) { return isFor(d, destination_); }),
                       destinations.end());
    Json entries = Json::array();
    for (const auto& [id, saved] : files_)
        entries.push_back(
            {{"clip", id}, {"folder", saved.folder}, {"name", saved.name}, {"size", saved.size}});
    destinations.push_back({{"folder", StoredPath::text(destination_)}, {"files", entries}});
    return PrivateFile::write(recordFile_,
                              record.dump(-1, ' ', false, Json::error_handler_t::replace));
}
