// One process on a profile, and the display a run without one would need.
#include "app/ProfileLock.hpp"

#include "app/PrivateCompositor.hpp"
#include "support/TempDir.hpp"

#include <cstdlib>
#include <cstring>
#include <gtest/gtest.h>
#include <optional>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// Sets (or, with none, removes) an environment variable for one scope.
class ScopedVariable {
  public:
    ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
        if (const char* old = std::getenv(name))
            old_ = old;
        value ? setenv(name, value->c_str(), 1) : unsetenv(name);
    }
    ~ScopedVariable() { old_ ? setenv(name_, old_->c_str(), 1) : unsetenv(name_); }

  private:
    const char* name_;
    std::optional<std::string> old_;
};

// A socket that accepts connections, as a compositor's does.
int listening(const std::filesystem::path& path) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof(address.sun_path) - 1);
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address));
    ::listen(fd, 1);
    return fd;
}

} // namespace

TEST(ProfileLockTest, aSecondHolderIsRefusedUntilTheFirstLetsGo) {
    TempDir temp;
    auto first = ProfileLock::tryTake(temp / "data");
    ASSERT_TRUE(first);
    EXPECT_FALSE(ProfileLock::tryTake(temp / "data"));
    // Another process, as a second run would be.
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(ProfileLock::tryTake(temp / "data") ? 0 : 4);
    int status = 0;
    ::waitpid(child, &status, 0);
    EXPECT_EQ(WEXITSTATUS(status), 4);
    first.reset();
    EXPECT_TRUE(ProfileLock::tryTake(temp / "data"));
}

TEST(PrivateCompositorTest, aDisplayCountsOnlyWhenItAcceptsAConnection) {
    TempDir temp;
    const int wayland = listening(temp / "wayland-9");
    struct Case {
        const char* what;
        std::optional<std::string> waylandDisplay, runtime, x11;
        bool reachable;
    } cases[] = {
        {"nothing named", std::nullopt, std::nullopt, std::nullopt, false},
        {"a Wayland socket by name", "wayland-9", temp.path().string(), std::nullopt, true},
        {"a Wayland socket by path", (temp / "wayland-9").string(), std::nullopt, std::nullopt,
         true},
        {"a Wayland name with no socket", "wayland-1", temp.path().string(), std::nullopt, false},
        {"an X display nobody serves", std::nullopt, std::nullopt, ":987", false},
        {"an X display named oddly", std::nullopt, std::nullopt, ":x", false},
        {"an X display on another host", std::nullopt, std::nullopt, "example.test:0", true},
    };
    for (const Case& c : cases) {
        const ScopedVariable w("WAYLAND_DISPLAY", c.waylandDisplay);
        const ScopedVariable r("XDG_RUNTIME_DIR", c.runtime);
        const ScopedVariable x("DISPLAY", c.x11);
        EXPECT_EQ(PrivateCompositor::displayReachable(), c.reachable) << c.what;
    }
    ::close(wayland);
}
