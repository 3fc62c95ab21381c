#include "app/ProfileLock.hpp"

#include "manager/PrivateFile.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

std::unique_ptr<ProfileLock> ProfileLock::tryTake(const std::filesystem::path& dataFolder) {
    PrivateFile::makeFolder(dataFolder);
    // Close-on-exec: the web processes and the compositor must not hold it
    // after this process has gone.
    const int fd = ::open((dataFolder / "profile.lock").c_str(),
                          O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        return nullptr;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<ProfileLock>(new ProfileLock(fd));
}

ProfileLock::~ProfileLock() {
    ::close(fd_);
}
