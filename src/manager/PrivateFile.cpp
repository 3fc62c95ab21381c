#include "manager/PrivateFile.hpp"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <sys/stat.h>
#include <unistd.h>

namespace PrivateFile {

namespace {

std::error_code lastError() {
    return {errno, std::generic_category()};
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (written == 0)
                errno = ENOSPC;
            return false;
        }
        bytes.remove_prefix(std::size_t(written));
    }
    return true;
}

} // namespace

std::error_code makeFolder(const std::filesystem::path& folder) {
    if (g_mkdir_with_parents(folder.c_str(), 0700) != 0)
        return lastError();
    // The folder may have been made earlier by something less careful.
    g_chmod(folder.c_str(), 0700);
    return {};
}

std::error_code save(const std::filesystem::path& file, std::string_view bytes) {
    const std::filesystem::path folder = file.parent_path();
    if (const std::error_code error = makeFolder(folder))
        return error;
    std::string temporary = file.string() + ".XXXXXX";
    const int fd = g_mkstemp_full(temporary.data(), O_WRONLY | O_CLOEXEC, 0600);
    if (fd < 0)
        return lastError();
    const bool written = writeAll(fd, bytes) && fsync(fd) == 0;
    std::error_code error = written ? std::error_code() : lastError();
    if (close(fd) != 0 && !error)
        error = lastError();
    if (!error && rename(temporary.c_str(), file.c_str()) != 0)
        error = lastError();
    if (error) {
        g_unlink(temporary.c_str());
        return error;
    }
    // So the new name survives a power cut too.
    if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        fsync(dir);
        close(dir);
    }
    return {};
}

void removeLeftovers(const std::filesystem::path& file) {
    const std::string prefix = file.filename().string() + '.';
    const auto isLeftover = [&](const std::string& name) {
        // As g_mkstemp_full() fills in "XXXXXX".
        return name.size() == prefix.size() + 6 && name.starts_with(prefix) &&
               std::all_of(name.begin() + std::ptrdiff_t(prefix.size()), name.end(),
                           [](char c) { return g_ascii_isalnum(c); });
    };
    std::error_code error;
    std::filesystem::directory_iterator entries(file.parent_path(), error);
    for (; !error && entries != std::filesystem::directory_iterator(); entries.increment(error)) {
        std::error_code ignored;
        if (isLeftover(entries->path().filename().string()) &&
            entries->symlink_status(ignored).type() == std::filesystem::file_type::regular)
            std::filesystem::remove(entries->path(), ignored);
    }
}

std::optional<std::string> read(const std::filesystem::path& file, std::error_code& error) {
    error.clear();
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = lastError();
        return std::nullopt;
    }
    // A device or a pipe in its place would never end.
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        error = S_ISDIR(status.st_mode) ? std::make_error_code(std::errc::is_a_directory)
                                        : std::make_error_code(std::errc::invalid_argument);
        close(fd);
        return std::nullopt;
    }
    std::string text;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            error = lastError();
            close(fd);
            return std::nullopt;
        }
        if (got == 0)
            break;
        text.append(buffer, std::size_t(got));
    }
    close(fd);
    return text;
}

} // namespace PrivateFile
