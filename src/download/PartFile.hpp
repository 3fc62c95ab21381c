#pragma once
#include "download/FileStamp.hpp"

#include <cstddef>
#include <filesystem>
#include <string>

// A download on its way into a folder: a hidden temporary file beside its
// final name, which goes away unless it is moved into place. Its name is
// short, so it fits wherever the final name fits. Every failure is the
// local disk's and is thrown as a WriteError.
class PartFile {
  public:
    explicit PartFile(std::filesystem::path folder);
    PartFile(PartFile&& other) noexcept;
    PartFile& operator=(PartFile&&) = delete;
    PartFile(const PartFile&) = delete;
    ~PartFile();

    // A plain write: a regular file never reports that it would block, so
    // an async write would hold up the main loop just the same.
    void write(const char* data, std::size_t size);

    // Puts the data on the disk and closes the file. Its time is rounded
    // down to whole even seconds, which FAT and exFAT keep exactly, so the
    // stamp read back after a remount is the one recorded. Called again
    // after the finished file was changed through its path, it does the same
    // for the change.
    void finish();

    // Moves the finished file to the name in its folder unless a file or
    // anything else has that name (or, on a disk that ignores case, the same
    // name in other case); false when it has. Then the folder is flushed.
    bool moveTo(const std::string& name);
    // Moves it over the file of that name, if there is one.
    void replace(const std::string& name);

    const std::filesystem::path& folder() const { return folder_; }
    // The temporary file, until it is moved into place.
    const std::filesystem::path& path() const { return path_; }

  private:
    void flushFolder();

    std::filesystem::path folder_;
    std::filesystem::path path_;
    int fd_ = -1;
};
