#include "manager/SavedTracks.hpp"

#include "download/ContentDigest.hpp"
#include "download/FileNames.hpp"
#include "download/NoReplaceRename.hpp"
#include "download/WriteError.hpp"
#include "manager/PrivateFile.hpp"
#include "manager/StoredPath.hpp"
#include "model/Translation.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <limits>
#include <set>
#include <unistd.h>

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
bool isPlainName(const Json& name) {
    if (!name.is_string())
        return false;
    const auto& text = name.get_ref<const std::string&>();
    return !text.empty() && text != "." && text != ".." &&
           text.find_first_of(std::string("/\0", 2)) == std::string::npos;
}

// Numbers are taken only of the kind and range they were written in: a
// fraction, a negative size or a time past the year 2262 is no entry of ours.
bool isSize(const Json& size) {
    return size.is_number_unsigned();
}
bool isTime(const Json& time) {
    if (time.is_null())
        return true;
    return time.is_number_integer() &&
           (!time.is_number_unsigned() || time.get<std::uint64_t>() <= std::uint64_t(INT64_MAX));
}
std::optional<std::int64_t> timeOf(const Json& time) {
    return time.is_null() ? std::nullopt : std::optional(time.get<std::int64_t>());
}

const std::string* textAt(const Json& object, const char* key) {
    const auto found = object.find(key);
    return found != object.end() && found->is_string() ? &found->get_ref<const std::string&>()
                                                       : nullptr;
}

std::string jsonText(const std::string& text) {
    // Most names need no escape at all.
    const bool plain =
        std::none_of(text.begin(), text.end(),
                     [](char c) { return c == '"' || c == '\\' || (c >= 0 && c < 0x20); }) &&
        g_utf8_validate_len(text.data(), text.size(), nullptr);
    return plain ? '"' + text + '"'
                 : Json(text).dump(-1, ' ', false, Json::error_handler_t::replace);
}

// The journal's lines, each a change of one destination's record; a line
// cut short by a crash is among them, and does not parse.
template <typename Visit> void forEachLine(const std::string& text, Visit visit) {
    for (std::size_t start = 0; start < text.size();) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        Json line = Json::parse(text.begin() + std::ptrdiff_t(start),
                                text.begin() + std::ptrdiff_t(end), nullptr, false);
        if (line.is_array() && !line.empty() && line[0].is_object() && textAt(line[0], "folder"))
            visit(line, text.substr(start, end - start));
        start = end + 1;
    }
}

std::string reason(int error) {
    return g_strerror(error);
}

[[noreturn]] void readFailed(const std::filesystem::path& file, int error) {
    throw RecordError(
        // Translators: {file} is the record's file, {reason} the system's error.
        Translation::fill(_("Could not read the record of saved files {file}: {reason}"),
                          {{"file", WriteError::displayPath(file)}, {"reason", reason(error)}}));
}

// Moves the file to a name that is free, never over another file.
bool moveToFreeName(const std::filesystem::path& from, const std::string& base,
                    std::filesystem::path& to) {
    for (int n = 1; n < 1000; ++n) {
        to = n == 1 ? base : base + "-" + std::to_string(n);
        if (const int error = NoReplaceRename::move(from.c_str(), to.c_str()); error != EEXIST) {
            errno = error;
            return error == 0;
        }
    }
    return false;
}

} // namespace

bool SavedTracks::File::matches(const std::optional<FileStamp>& stamp) const {
    return stamp && stamp->size == size && (!modified || *modified == stamp->modified);
}

std::filesystem::path SavedTracks::journalFile(const std::filesystem::path& recordFile) {
    return recordFile.parent_path() / (recordFile.stem().string() + ".journal");
}

SavedTracks::SavedTracks(std::filesystem::path recordFile, std::filesystem::path destination,
                         std::optional<DiskPlace> place)
    : recordFile_(std::move(recordFile)), destination_(std::move(destination)),
      place_(std::move(place)) {
    Json head = {{"folder", StoredPath::text(destination_)}};
    if (place_) {
        head["disk"] = place_->disk;
        head["inside"] = place_->inside;
    }
    head_ = '[' + head.dump(-1, ' ', false, Json::error_handler_t::replace) + ',';
    readRecord();
    readJournal();
}

SavedTracks::~SavedTracks() {
    closeJournal();
}

SavedTracks::Match SavedTracks::match(const Json& destination) const {
    const std::string* folder = textAt(destination, "folder");
    const bool samePath =
        folder && normalFolder(StoredPath::path(*folder)) == normalFolder(destination_);
    const std::string* disk = textAt(destination, "disk");
    const std::string* inside = textAt(destination, "inside");
    if (!place_ || !disk || !inside)
        return samePath ? Match::same : Match::other;
    if (*disk == place_->disk)
        return *inside == place_->inside ? Match::same : Match::other;
    return samePath ? Match::otherDisk : Match::other;
}

void SavedTracks::readRecord() {
    std::error_code error;
    const auto text = PrivateFile::read(recordFile_, error);
    if (!text) {
        if (error == std::errc::no_such_file_or_directory)
            return;
        // Going on would take every file saved before for the user's.
        readFailed(recordFile_, error.value());
    }
    Json record = Json::parse(*text, nullptr, false);
    if (!record.is_object() || !record.contains("destinations") ||
        !record["destinations"].is_array()) {
        setAside();
        return;
    }
    read_ = Read::read;
    bool found = false;
    bool elsewhere = false;
    for (Json& destination : record["destinations"]) {
        const Match matched = destination.is_object() ? match(destination) : Match::other;
        elsewhere |= matched == Match::otherDisk;
        if (matched != Match::same) {
            others_.push_back(std::move(destination));
            continue;
        }
        found = true;
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
    onOtherDisk_ = elsewhere && !found;
}

void SavedTracks::setAside() {
    // Kept for whoever wants to look, under a name of its own, and a fresh
    // record starts.
    GDateTime* now = g_date_time_new_now_local();
    gchar* stamp = g_date_time_format(now, "%Y-%m-%d-%H%M%S");
    const std::string base = recordFile_.string() + ".bad-" + stamp;
    g_free(stamp);
    g_date_time_unref(now);
    if (!moveToFreeName(recordFile_, base, badFile_))
        throw RecordError(Translation::fill(
            // Translators: {file} is the record's file, {reason} the system's error.
            _("Could not set aside the damaged record of saved files {file}: {reason}"),
            {{"file", WriteError::displayPath(recordFile_)}, {"reason", reason(errno)}}));
    read_ = Read::setAside;
}

void SavedTracks::readFolder(Json& folder) {
    const auto name = folder.find("name");
    const auto files = folder.find("files");
    if (!folder.is_object() || name == folder.end() || !isPlainName(*name) ||
        files == folder.end() || !files->is_array())
        return;
    auto& clips = folders_[name->get<std::string>()];
    for (Json& file : *files) {
        // An entry this app did not write is left out.
        if (!file.is_array() || file.size() != 4 || !file[0].is_string() || !isPlainName(file[1]) ||
            !isSize(file[2]) || !isTime(file[3]))
            continue;
        // Written in order, so each goes at the end.
        clips.insert_or_assign(clips.end(), std::move(file[0].get_ref<std::string&>()),
                               File{std::move(file[1].get_ref<std::string&>()),
                                    file[2].get<std::uintmax_t>(), timeOf(file[3])});
    }
    if (clips.empty())
        folders_.erase(name->get<std::string>());
}

void SavedTracks::readEntry(const Json& entry) {
    if (!entry.is_object())
        return;
    const auto field = [&](const char* key) {
        const auto found = entry.find(key);
        return found == entry.end() ? Json() : *found;
    };
    const Json folder = field("folder"), clip = field("clip"), name = field("name"),
               size = field("size"), modified = field("modified");
    // An entry this app did not write is left out.
    if (!isPlainName(folder) || !clip.is_string() || !isPlainName(name) || !isSize(size) ||
        !isTime(modified))
        return;
    folders_[folder.get<std::string>()][clip.get<std::string>()] =
        File{name.get<std::string>(), size.get<std::uintmax_t>(), timeOf(modified)};
}

void SavedTracks::readJournal() {
    std::error_code error;
    const auto text = PrivateFile::read(journalFile(recordFile_), error);
    if (!text) {
        if (error == std::errc::no_such_file_or_directory)
            return;
        readFailed(journalFile(recordFile_), error.value());
    }
    journalTorn_ = !text->empty() && text->back() != '\n';
    forEachLine(*text, [this](const Json& line, std::string raw) {
        if (match(line[0]) == Match::same) {
            apply(line);
            changed_ = true; // so that save() empties the journal
        } else {
            foreign_.push_back(std::move(raw));
        }
    });
    settle();
}

void SavedTracks::apply(const Json& line) {
    // [destination, folder, clip] forgets, [..., name, size, time] remembers
    // and [..., name, size, "intent", digest] announces.
    if (line.size() < 3 || !isPlainName(line[1]) || !line[2].is_string())
        return;
    const std::string& folder = line[1].get_ref<const std::string&>();
    const std::string& clipId = line[2].get_ref<const std::string&>();
    if (line.size() == 3) {
        intents_.erase({folder, clipId});
        if (const auto found = folders_.find(folder); found != folders_.end())
            found->second.erase(clipId);
    } else if (line.size() == 6 && isPlainName(line[3]) && isSize(line[4]) && isTime(line[5])) {
        intents_.erase({folder, clipId});
        put(folder, clipId,
            File{line[3].get<std::string>(), line[4].get<std::uintmax_t>(), timeOf(line[5])});
    } else if (line.size() == 7 && isPlainName(line[3]) && isSize(line[4]) && line[5] == "intent" &&
               line[6].is_string()) {
        intents_[{folder, clipId}] = Intent{
            line[3].get<std::string>(), line[4].get<std::uintmax_t>(), line[6].get<std::string>()};
    }
}

void SavedTracks::settle() {
    // A crash came between announcing a file and remembering it: the file
    // under that name is ours if it is the one announced, whatever its time
    // (FAT keeps it to two seconds). Otherwise the name was never taken, or
    // the file there is someone else's, and the record stays as it was.
    for (auto& [key, intent] : std::exchange(intents_, {})) {
        const auto& [folder, clipId] = key;
        const std::filesystem::path file = destination_ / folder / intent.name;
        const auto stamp = FileStamp::of(file);
        if (stamp && stamp->size == intent.size && ContentDigest::of(file) == intent.digest)
            put(folder, clipId, File{intent.name, stamp->size, stamp->modified});
    }
}

void SavedTracks::put(const std::string& folder, const std::string& clipId, File file) {
    // On a disk that ignores case, "Song.wav" and "SONG.wav" are one file:
    // it belongs to one clip only.
    // Which clips hold which name is looked up, not searched: a journal of
    // ten thousand lines in one folder is read in a blink, not minutes.
    const auto fold = [](const std::string& name) { return FileNames::UsedNames::fold(name); };
    auto& clips = folders_[folder];
    auto [index, fresh] = nameIndex_.try_emplace(folder);
    if (fresh)
        for (const auto& [id, recorded] : clips)
            index->second[fold(recorded.name)].push_back(id);
    const std::string nameKey = fold(file.name);
    auto& holders = index->second[nameKey];
    // An entry may be stale: its clip forgotten or renamed since.
    for (const std::string& other : holders)
        if (const auto held = clips.find(other);
            other != clipId && held != clips.end() && fold(held->second.name) == nameKey)
            clips.erase(held);
    holders = {clipId};
    clips[clipId] = std::move(file);
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
    journal(head_ + jsonText(folder) + ',' + jsonText(clipId) + ',' + jsonText(file.name) + ',' +
            std::to_string(file.size) + ',' +
            (file.modified ? std::to_string(*file.modified) : "null") + "]\n");
    put(folder, clipId, std::move(file));
    changed_ = true;
}

void SavedTracks::intend(const std::string& folder, const std::string& clipId,
                         const std::string& name, std::uintmax_t size, const std::string& digest) {
    journal(head_ + jsonText(folder) + ',' + jsonText(clipId) + ',' + jsonText(name) + ',' +
            std::to_string(size) + R"(,"intent",)" + jsonText(digest) + "]\n");
    sync();
    // The next line may be written without a sync: this one stands for it.
    changed_ = true;
}

void SavedTracks::forget(const std::string& folder, const std::string& clipId) {
    const auto inFolder = folders_.find(folder);
    if (inFolder == folders_.end() || !inFolder->second.contains(clipId))
        return;
    journal(head_ + jsonText(folder) + ',' + jsonText(clipId) + "]\n");
    inFolder->second.erase(clipId);
    changed_ = true;
}

void SavedTracks::journal(const std::string& line) {
    if (journalFd_ < 0) {
        if (const std::error_code error = PrivateFile::makeFolder(recordFile_.parent_path()))
            writeFailed(error.value());
        journalFd_ =
            open(journalFile(recordFile_).c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
        if (journalFd_ < 0)
            writeFailed(errno);
    }
    const std::string text = std::exchange(journalTorn_, false) ? '\n' + line : line;
    const ssize_t written = ::write(journalFd_, text.data(), text.size());
    if (written != ssize_t(text.size())) {
        // Whatever part of the line went in is passed over when read.
        journalTorn_ = true;
        writeFailed(written < 0 ? errno : ENOSPC);
    }
}

void SavedTracks::sync() {
    if (journalFd_ >= 0 && fdatasync(journalFd_) != 0)
        writeFailed(errno);
}

void SavedTracks::closeJournal() {
    if (journalFd_ >= 0)
        close(std::exchange(journalFd_, -1));
}

void SavedTracks::writeFailed(int error) const {
    throw RecordError(Translation::fill(
        // Translators: {folder} is the app's data folder, {reason} the system's error.
        _("Could not record the saved files in {folder}: {reason}. Stopped so that nothing is "
          "downloaded twice."),
        {{"folder", WriteError::displayPath(recordFile_.parent_path())},
         {"reason", reason(error)}}));
}

void SavedTracks::save() {
    if (!changed_)
        return;
    // Written out directly: a document of a hundred thousand small arrays
    // would cost more to build than to write.
    std::string text = R"({"destinations":[)";
    for (const Json& other : others_)
        text += other.dump(-1, ' ', false, Json::error_handler_t::replace) + ',';
    // This destination's head, without the bracket that opens a journal line.
    text += head_.substr(1, head_.size() - 3) + R"(,"folders":[)";
    bool firstFolder = true;
    for (const auto& [folder, clips] : folders_) {
        if (clips.empty())
            continue;
        text += (firstFolder ? "" : ",") + std::string(R"({"name":)") + jsonText(folder) +
                R"(,"files":[)";
        firstFolder = false;
        bool firstFile = true;
        for (const auto& [id, file] : clips) {
            text += (firstFile ? "[" : ",[") + jsonText(id) + ',' + jsonText(file.name) + ',' +
                    std::to_string(file.size) + ',' +
                    (file.modified ? std::to_string(*file.modified) : "null") + ']';
            firstFile = false;
        }
        text += "]}";
    }
    text += "]}]}";
    if (const std::error_code error = PrivateFile::save(recordFile_, text))
        writeFailed(error.value());
    // The record holds every line of the journal now but those of other
    // destinations, which wait for their own next run.
    closeJournal();
    const std::filesystem::path journalPath = journalFile(recordFile_);
    if (foreign_.empty()) {
        if (g_unlink(journalPath.c_str()) != 0 && errno != ENOENT)
            writeFailed(errno);
    } else {
        std::string lines;
        for (const std::string& line : foreign_)
            lines += line + '\n';
        if (const std::error_code error = PrivateFile::save(journalPath, lines))
            writeFailed(error.value());
    }
    journalTorn_ = false;
    changed_ = false;
}

void SavedTracks::recover(const std::filesystem::path& recordFile) {
    const auto text = PrivateFile::read(journalFile(recordFile));
    if (!text)
        return;
    // Each destination once, in the order the journal names them.
    std::set<std::string> seen;
    std::vector<Json> destinations;
    forEachLine(*text, [&](const Json& line, const std::string&) {
        if (seen.insert(line[0].dump()).second)
            destinations.push_back(line[0]);
    });
    for (const Json& destination : destinations) {
        std::optional<DiskPlace> place;
        const std::string* disk = textAt(destination, "disk");
        const std::string* inside = textAt(destination, "inside");
        if (disk && inside)
            place = DiskPlace{*disk, *inside};
        SavedTracks(recordFile, StoredPath::path(*textAt(destination, "folder")), place).save();
    }
    // Lines that named no destination are of no use to anyone.
    if (destinations.empty())
        g_unlink(journalFile(recordFile).c_str());
}
