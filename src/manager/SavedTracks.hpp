#pragma once
#include "download/FileStamp.hpp"
#include "manager/DiskPlace.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <vector>

// The record of saved tracks could not be read or written. what() says
// which file and the system's reason, as one line for the user.
struct RecordError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Which clip the app saved as which file under one destination folder, with
// the file's size and time then: a file is the app's own while it is still
// as recorded, and everything else is the user's. The records of every
// destination share one file in the app's data folder (never a file among
// the user's music), written whole and atomically.
//
// Every change is also appended to a journal beside the record as it is
// made, so a crash, a kill or a power cut loses none of them: the journal
// is read back over the record, and folded into it by save(). A file about
// to take its name is announced in the journal first (intend()), so that
// whatever instant a crash comes at, the file found under that name next
// time is known for the app's own or the user's by its content.
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
        none,     // there was no record yet
        read,     // what it holds for this destination is here
        setAside, // it did not parse and was moved to badFile()
    };

    // Reads what the record file and its journal hold for the destination,
    // found by its place on its disk when that is known (under whatever
    // path that disk is mounted now), else by its path. A record that does
    // not parse is moved aside rather than written over; one that cannot be
    // read throws RecordError.
    SavedTracks(std::filesystem::path recordFile, std::filesystem::path destination,
                std::optional<DiskPlace> place = std::nullopt);
    SavedTracks(const SavedTracks&) = delete;
    SavedTracks& operator=(const SavedTracks&) = delete;
    ~SavedTracks();

    Read read() const { return read_; }
    const std::filesystem::path& badFile() const { return badFile_; }
    // The record knows the destination's path on another disk than the
    // one now there, and nothing of this disk at that place.
    bool onOtherDisk() const { return onOtherDisk_; }

    const Folders& folders() const { return folders_; }
    const File* find(const std::string& folder, const std::string& clipId) const;

    // Records the clip's new file in the folder, forgetting any other clip
    // recorded under the same name (in any letter case). Both write to the
    // journal and throw RecordError when it cannot be written.
    void remember(const std::string& folder, const std::string& clipId, File file);
    void forget(const std::string& folder, const std::string& clipId);
    // Puts what the journal was given so far on the disk.
    void sync();
    // Announces, on the disk, that a file of the size and content digest
    // (ContentDigest::of) is about to take the name for the clip. Until the
    // file is remembered, the next reading of the record takes the file
    // under that name for the app's own only if it is that file. Throws
    // RecordError.
    void intend(const std::string& folder, const std::string& clipId, const std::string& name,
                std::uintmax_t size, const std::string& digest);

    // Writes the record file if anything changed since it was read or last
    // written, and empties the journal. Throws RecordError.
    void save();

    // Folds into the record what a run cut short left in the journal, for
    // every destination in it. Throws RecordError.
    static void recover(const std::filesystem::path& recordFile);
    static std::filesystem::path journalFile(const std::filesystem::path& recordFile);

  private:
    enum class Match { same, otherDisk, other };
    Match match(const nlohmann::json& destination) const;
    void readRecord();
    void readJournal();
    void readFolder(nlohmann::json& folder);
    void readEntry(const nlohmann::json& entry);
    void apply(const nlohmann::json& line);
    void put(const std::string& folder, const std::string& clipId, File file);
    void settle();
    void journal(const std::string& line);
    void setAside();
    [[noreturn]] void writeFailed(int error) const;
    void closeJournal();

    std::filesystem::path recordFile_;
    std::filesystem::path destination_;
    std::optional<DiskPlace> place_;
    Read read_ = Read::none;
    std::filesystem::path badFile_;
    bool onOtherDisk_ = false;
    // Other destinations' records, kept as they were read.
    nlohmann::json others_ = nlohmann::json::array();
    // Journal lines of other destinations, kept for their next run.
    std::vector<std::string> foreign_;
    Folders folders_;
    // Per folder, the clips recorded under each name as a disk that ignores
    // case sees it (UsedNames::fold); made at the first change of the folder.
    std::map<std::string, std::unordered_map<std::string, std::vector<std::string>>> nameIndex_;
    bool changed_ = false;
    // The journal, open for appending once there is a change to write.
    int journalFd_ = -1;
    // The journal's last line was cut short (by a crash): the next starts
    // on a line of its own.
    bool journalTorn_ = false;
    // Files announced in the journal and not remembered or forgotten after,
    // per folder and clip, while it is read.
    struct Intent {
        std::string name;
        std::uintmax_t size = 0;
        std::string digest;
    };
    std::map<std::pair<std::string, std::string>, Intent> intents_;
    // This destination as each journal line starts.
    std::string head_;
};
