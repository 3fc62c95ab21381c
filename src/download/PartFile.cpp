#include "download/PartFile.hpp"

#include "download/FileNames.hpp"
#include "download/NoReplaceRename.hpp"
#include "download/WriteError.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

PartFile::PartFile(std::filesystem::path folder) : folder_(std::move(folder)) {
    std::string name = (folder_ / FileNames::partFileTemplate).string();
    fd_ = g_mkstemp_full(name.data(), O_WRONLY | O_CLOEXEC, 0666);
    if (fd_ < 0)
        throw WriteError(folder_, errno);
    path_ = name;
}

PartFile::PartFile(PartFile&& other) noexcept
    : folder_(std::move(other.folder_)), path_(std::exchange(other.path_, {})),
      fd_(std::exchange(other.fd_, -1)) {}

PartFile::~PartFile() {
    if (fd_ >= 0)
        close(fd_);
    if (!path_.empty())
        g_unlink(path_.c_str());
}

void PartFile::write(const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t written = ::write(fd_, data, size);
        if (written < 0 && errno == EINTR)
            continue;
        if (written < 0)
            throw WriteError(folder_, errno);
        if (written == 0)
            throw WriteError(folder_, ENOSPC);
        data += written;
        size -= std::size_t(written);
    }
}

void PartFile::finish() {
    if (fd_ < 0)
        fd_ = open(path_.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd_ < 0)
        throw WriteError(folder_, errno);
    const timespec now{g_get_real_time() / 2'000'000 * 2, 0};
    const timespec times[2] = {{0, UTIME_OMIT}, now};
    futimens(fd_, times);
    // Once the data is on the disk, a crash or power cut after the move
    // leaves the whole new file, never a hole.
    if (fsync(fd_) != 0)
        throw WriteError(folder_, errno);
    const int fd = std::exchange(fd_, -1);
    if (close(fd) != 0)
        throw WriteError(folder_, errno);
}

bool PartFile::moveTo(const std::string& name) {
    const std::filesystem::path target = folder_ / name;
    const int error = NoReplaceRename::move(path_.c_str(), target.c_str());
    if (error == EEXIST || error == ENOTEMPTY)
        return false;
    if (error != 0)
        throw WriteError(target, error);
    path_.clear();
    flushFolder();
    return true;
}

void PartFile::replace(const std::string& name) {
    const std::filesystem::path target = folder_ / name;
    if (g_rename(path_.c_str(), target.c_str()) != 0)
        throw WriteError(target, errno);
    path_.clear();
    flushFolder();
}

void PartFile::flushFolder() {
    // So the new name survives a power cut too. Some file systems cannot
    // sync a folder; the file itself is on the disk already.
    const int fd = open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}
