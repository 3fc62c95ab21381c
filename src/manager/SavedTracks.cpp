#include "manager/SavedTracks.hpp"

#include "download/FileNames.hpp"
#include "manager/PrivateFile.hpp"
#include "manager/StoredPath.hpp"

#include <algorithm>
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
        // Each folder with its files as [clip, name, size, modified].
        if (const auto folders = destination.find("folders");
            folders != destination.end() && folders->is_array())
            for (Json& folder : *folders)
                readFolder(folder);
        // Earlier versions kept one object per file.
        if (const auto files = destination.find("files");
            files != destination.end() && files->is_array())
            for (const Json& entry : *files)
                readEntry(entry);
    }
}

void SavedTracks::readFolder(Json& folder) {
    const auto name = folder.find("name");
    const auto files = folder.find("files");
    if (!folder.is_object() || name == folder.end() || !name->is_string() ||
        !isPlainName(name->get_ref<const std::string&>()) || files == folder.end() ||
        !files->is_array())
        return;
    auto& clips = folders_[name->get<std::string>()];
    for (Json& file : *files) {
        // An entry this app did not write is left out.
        if (!file.is_array() || file.size() != 4 || !file[0].is_string() || !file[1].is_string() ||
            !file[2].is_number_unsigned() || !(file[3].is_number_integer() || file[3].is_null()) ||
            !isPlainName(file[1].get_ref<const std::string&>()))
            continue;
        File entry{std::move(file[1].get_ref<std::string&>()), file[2].get<std::uintmax_t>(),
                   std::nullopt};
        if (!file[3].is_null())
            entry.modified = file[3].get<std::int64_t>();
        // Written in order, so each goes at the end.
        clips.insert_or_assign(clips.end(), std::move(file[0].get_ref<std::string&>()),
                               std::move(entry));
    }
    if (clips.empty())
        folders_.erase(name->get<std::string>());
}

void SavedTracks::readEntry(const Json& entry) {
    try {
        std::string folder = entry.at("folder").get<std::string>();
        File file{entry.at("name").get<std::string>(), entry.at("size").get<std::uintmax_t>(),
                  std::nullopt};
        if (const auto modified = entry.find("modified"); modified != entry.end())
            file.modified = modified->get<std::int64_t>();
        if (isPlainName(folder) && isPlainName(file.name))
            folders_[std::move(folder)][entry.at("clip").get<std::string>()] = std::move(file);
    } catch (const Json::exception&) {
        // An entry this app did not write is left out.
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
    // On a disk that ignores case, "Song.wav" and "SONG.wav" are one file:
    // it belongs to one clip only.
    const std::string nameKey = FileNames::UsedNames::fold(file.name);
    auto& clips = folders_[folder];
    std::erase_if(clips, [&](const auto& entry) {
        return entry.first != clipId && FileNames::UsedNames::fold(entry.second.name) == nameKey;
    });
    clips[clipId] = std::move(file);
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
    // Written out directly: a document of a hundred thousand small arrays
    // would cost more to build than to write.
    const auto quoted = [](const std::string& text) {
        // Most names need no escape at all.
        const bool plain =
            std::none_of(text.begin(), text.end(),
                         [](char c) { return c == '"' || c == '\\' || (c >= 0 && c < 0x20); }) &&
            g_utf8_validate_len(text.data(), text.size(), nullptr);
        return plain ? '"' + text + '"'
                     : Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
    };
    std::string text = R"({"destinations":[)";
    for (const Json& other : others_)
        text += other.dump(-1, ' ', false, Json::error_handler_t::replace) + ',';
    text += R"({"folder":)" + quoted(StoredPath::text(destination_)) + R"(,"folders":[)";
    bool firstFolder = true;
    for (const auto& [folder, clips] : folders_) {
        if (clips.empty())
            continue;
        text += (firstFolder ? "" : ",") + std::string(R"({"name":)") + quoted(folder) +
                R"(,"files":[)";
        firstFolder = false;
        bool firstFile = true;
        for (const auto& [id, file] : clips) {
            text += (firstFile ? "[" : ",[") + quoted(id) + ',' + quoted(file.name) + ',' +
                    std::to_string(file.size) + ',' +
                    (file.modified ? std::to_string(*file.modified) : "null") + ']';
            firstFile = false;
        }
        text += "]}";
    }
    text += "]}]}";
    if (!PrivateFile::write(recordFile_, text))
        return false;
    changed_ = false;
    return true;
}
