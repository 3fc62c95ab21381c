#pragma once
#include "download/FileStamp.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>

// Which clip the app saved as which file under one destination folder, with
// the file's size and time then: a file is the app's own while it is still
// as recorded, and everything else is the user's. The records of every
// destination share one file in the app's data folder (never a file among
// the user's music), written whole and atomically.
class SavedTracks {
  public:
    struct File {
        std::string name; // directly in its workspace folder
        std::uintmax_t size = 0;
        // Nanoseconds; none in records of versions that kept only the size.
        std::optional<std::int64_t> modified;
        bool operator==(const File&) const = default;

        // Whether the file on disk is still this one.
        bool matches(const std::optional<FileStamp>& stamp) const;
    };
    // Per workspace folder (directly in the destination), per clip id.
    using Folders = std::map<std::string, std::map<std::string, File>>;

    enum class Read {
        none,       // there was no record yet
        read,       // what it holds for this destination is here
        setAside,   // it could not be read and was moved to badFile()
    };

    // Reads what the record file holds; a file that cannot be read is moved
    // aside rather than written over.
    SavedTracks(std::filesystem::path recordFile, std::filesystem::path destination);

    Read read() const { return read_; }
    std::filesystem::path badFile() const;

    const Folders& folders() const { return folders_; }
    const File* find(const std::string& folder, const std::string& clipId) const;

    // Records the clip's new file in the folder, forgetting any other clip
    // recorded under the same name (in any letter case).
    void remember(const std::string& folder, const std::string& clipId, File file);
    void forget(const std::string& folder, const std::string& clipId);

    // Writes the record file if anything changed since it was read or last
    // written; false when it could not be written.
    bool save();

  private:
    void readFolder(nlohmann::json& folder);
    void readEntry(const nlohmann::json& entry);

    std::filesystem::path recordFile_;
    std::filesystem::path destination_;
    Read read_ = Read::none;
    // Other destinations' records, kept as they were read.
    nlohmann::json others_ = nlohmann::json::array();
    Folders folders_;
    bool changed_ = false;
};
