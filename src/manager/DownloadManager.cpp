#include "manager/DownloadManager.hpp"

#include "manager/Plural.hpp"
#include "manager/PrivateFile.hpp"
#include "model/LibrarySnapshot.hpp"

#include <glib.h>

namespace {

// The settings file holds text. A path that is not valid UTF-8 (a folder
// named in another encoding) is stored as a file: address, whose escapes
// give back its exact bytes; every other path is stored as it is, as it
// always was.
std::string storedPath(const std::filesystem::path& folder) {
    const std::string& bytes = folder.native();
    if (g_utf8_validate_len(bytes.data(), bytes.size(), nullptr))
        return bytes;
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(folder, ignored);
    char* uri = g_filename_to_uri(absolute.c_str(), nullptr, nullptr);
    std::string text = uri ? uri : "";
    g_free(uri);
    return text;
}

std::filesystem::path restoredPath(const std::string& text) {
    if (!text.starts_with("file:///"))
        return text;
    char* bytes = g_filename_from_uri(text.c_str(), nullptr, nullptr);
    std::filesystem::path folder =
        bytes ? std::filesystem::path(bytes) : std::filesystem::path(text);
    g_free(bytes);
    return folder;
}

} // namespace

DownloadManager::DownloadManager(OrvoService& bridge, Clock& clock, SettingsStore& settings,
                                 FileDownloader& downloader, std::filesystem::path dataFolder)
    : bridge(bridge), clock_(clock), settings_(settings), downloader_(downloader),
      dataFolder_(std::move(dataFolder)) {
    // Through the setter, so the stored path is written back unchanged.
    if (auto path = settings_.string(destFolderKey); path && !path->empty())
        setDestFolder(restoredPath(*path));
}

void DownloadManager::setSelected(std::set<std::string> ids) {
    publish(selected_, std::move(ids), Property::selected);
}

void DownloadManager::select(const std::string& workspaceId, bool on) {
    const bool changed = on ? selected_.insert(workspaceId).second : selected_.erase(workspaceId);
    if (changed)
        changed_.emit(Property::selected);
}

void DownloadManager::setLikedOnly(bool likedOnly) {
    publish(likedOnly_, likedOnly, Property::likedOnly);
}

void DownloadManager::setRecentCount(std::int64_t count) {
    publish(recentCount_, count, Property::recentCount);
}

void DownloadManager::setDestFolder(std::optional<std::filesystem::path> folder) {
    // An empty path would put the workspace folders wherever the app was
    // started from.
    if (folder && folder->empty())
        folder.reset();
    settings_.set(destFolderKey, folder ? std::optional(storedPath(*folder)) : std::nullopt);
    publish(destFolder_, std::move(folder), Property::destFolder);
}

std::int64_t DownloadManager::queuedTrackCount() const {
    std::int64_t count = 0;
    for (const Workspace& workspace : workspaces_) {
        if (!selected_.contains(workspace.id))
            continue;
        if (likedOnly_) {
            for (const WClip& clip : workspace.clips)
                count += clip.liked;
        } else {
            count += std::int64_t(workspace.clips.size());
        }
    }
    return count;
}

std::filesystem::path DownloadManager::cacheURL() const {
    return dataFolder_ / "library.json";
}

void DownloadManager::saveCache(const std::string& scope) {
    LibrarySnapshot snapshot{workspaces_, clock_.date(), scope};
    publish(lastScanned_, std::optional(snapshot.scannedAt), Property::lastScanned);
    publish(lastScope_, std::optional(scope), Property::lastScope);
    // A failed write keeps the earlier file; nothing is reported.
    PrivateFile::write(cacheURL(), snapshot.encode());
}

void DownloadManager::loadCache() {
    if (!workspaces_.empty())
        return;
    auto text = PrivateFile::read(cacheURL());
    if (!text)
        return;
    LibrarySnapshot snapshot;
    try {
        snapshot = LibrarySnapshot::decode(*text);
    } catch (const std::exception&) { // not a library this app wrote
        return;
    }
    const std::size_t count = snapshot.workspaces.size();
    setWorkspaces(std::move(snapshot.workspaces));
    publish(lastScanned_, std::optional(snapshot.scannedAt), Property::lastScanned);
    publish(lastScope_, std::move(snapshot.scope), Property::lastScope);
    setScanStatus("Showing your most recent scan (" + plural(std::int64_t(count), "workspace") +
                  ").");
}

void DownloadManager::addLog(std::string line) {
    log_.push_back(std::move(line));
    while (log_.size() > maxLogLines)
        log_.pop_front();
    changed_.emit(Property::log);
}

Task<void> DownloadManager::rest(double seconds) {
    try {
        co_await clock_.pause(seconds);
    } catch (...) {
        // An interrupted pause just ends early.
    }
}

void DownloadManager::endActivity(bool& flag, Property property) noexcept {
    if (!flag)
        return;
    flag = false;
    try {
        changed_.emit(property);
    } catch (...) {
        // An observer that fails now cannot be told anything more; the
        // flag is off all the same, so the window is not left locked.
    }
}
