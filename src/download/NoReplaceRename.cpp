#include "download/NoReplaceRename.hpp"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace NoReplaceRename {

int move(const char* from, const char* to) {
    if (renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP)
        return errno;
    if (link(from, to) == 0) {
        unlink(from);
        return 0;
    }
    if (errno != EPERM && errno != ENOSYS && errno != EOPNOTSUPP && errno != EMLINK)
        return errno;
    return claimThenMove(from, to);
}

int claimThenMove(const char* from, const char* to) {
    const int placeholder = open(to, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (placeholder < 0)
        return errno;
    close(placeholder);
    if (rename(from, to) == 0)
        return 0;
    const int error = errno;
    unlink(to); // our own empty placeholder
    return error;
}

} // namespace NoReplaceRename
