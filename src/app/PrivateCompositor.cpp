#include "app/PrivateCompositor.hpp"

#include "model/Translation.hpp"

#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <glib.h>
#include <signal.h>
#include <string_view>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// How long Weston may take to open its socket; it needs about 0.15 s.
constexpr auto startLimit = std::chrono::seconds(10);

bool connects(const std::string& address, bool abstract) {
    sockaddr_un peer{};
    peer.sun_family = AF_UNIX;
    const std::size_t offset = abstract ? 1 : 0;
    if (address.size() + offset >= sizeof(peer.sun_path))
        return false;
    std::memcpy(peer.sun_path + offset, address.data(), address.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const socklen_t length = socklen_t(offsetof(sockaddr_un, sun_path) + offset + address.size());
    const bool connected = ::connect(fd, reinterpret_cast<sockaddr*>(&peer), length) == 0;
    ::close(fd);
    return connected;
}

bool waylandReachable() {
    const char* name = std::getenv("WAYLAND_DISPLAY");
    if (!name || !*name)
        return false;
    if (name[0] == '/')
        return connects(name, false);
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    return runtime && *runtime && connects(std::string(runtime) + '/' + name, false);
}

bool x11Reachable() {
    const char* display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    std::string_view name(display);
    if (name.starts_with("unix:"))
        name.remove_prefix(4);
    // A display on another host is taken at its word: only GTK can tell.
    if (!name.starts_with(':'))
        return true;
    const std::string number(name.substr(1, name.find('.') - 1));
    if (number.empty() || number.find_first_not_of("0123456789") != std::string::npos)
        return false;
    const std::string socket = "/tmp/.X11-unix/X" + number;
    return connects(socket, true) || connects(socket, false);
}

} // namespace

bool PrivateCompositor::displayReachable() {
    return waylandReachable() || x11Reachable();
}

std::unique_ptr<PrivateCompositor> PrivateCompositor::start(std::string& why) {
    gchar* found = g_find_program_in_path("weston");
    if (!found) {
        why = _("weston is not installed");
        return nullptr;
    }
    const std::string weston(found);
    g_free(found);
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/orvo-display.XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        why = std::strerror(errno);
        return nullptr;
    }
    const std::filesystem::path folder(pattern);
    // No on-screen keyboard: nobody will type here.
    std::ofstream(folder / "weston.ini") << "[core]\nidle-time=0\n[input-method]\npath=\n";
    const std::string config = "--config=" + (folder / "weston.ini").string();
    const std::string log = "--log=" + (folder / "weston.log").string();
    const char* argv[] = {weston.c_str(),
                          "--backend=headless-backend.so",
                          "--shell=kiosk-shell.so",
                          "--socket=wayland-0",
                          config.c_str(),
                          log.c_str(),
                          nullptr};
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "XDG_RUNTIME_DIR", folder.c_str(), TRUE);
    env = g_environ_unsetenv(env, "WAYLAND_DISPLAY");
    env = g_environ_unsetenv(env, "DISPLAY");
    GPid pid = 0;
    GError* error = nullptr;
    const bool spawned =
        g_spawn_async(nullptr, const_cast<gchar**>(argv), env,
                      GSpawnFlags(G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDOUT_TO_DEV_NULL |
                                  G_SPAWN_STDERR_TO_DEV_NULL),
                      nullptr, nullptr, &pid, &error);
    g_strfreev(env);
    if (!spawned) {
        why = error->message;
        g_error_free(error);
        std::error_code ignored;
        std::filesystem::remove_all(folder, ignored);
        return nullptr;
    }
    std::unique_ptr<PrivateCompositor> compositor(new PrivateCompositor(pid, folder));
    const auto limit = std::chrono::steady_clock::now() + startLimit;
    while (!connects(compositor->socket_.string(), false)) {
        int status = 0;
        if (::waitpid(pid, &status, WNOHANG) == pid) {
            compositor->pid_ = 0;
            why = _("weston exited at once");
            return nullptr;
        }
        if (std::chrono::steady_clock::now() > limit) {
            why = _("weston did not open its socket");
            return nullptr;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // GTK finds a Wayland socket only by name, in XDG_RUNTIME_DIR: the
    // private folder becomes the run's, once the session bus (which is
    // found there too) has been named by its address.
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime && !std::getenv("DBUS_SESSION_BUS_ADDRESS")) {
        const std::string bus = std::string(runtime) + "/bus";
        if (std::filesystem::exists(bus))
            setenv("DBUS_SESSION_BUS_ADDRESS", ("unix:path=" + bus).c_str(), 1);
    }
    setenv("XDG_RUNTIME_DIR", folder.c_str(), 1);
    setenv("WAYLAND_DISPLAY", compositor->socket_.filename().c_str(), 1);
    setenv("GDK_BACKEND", "wayland", 1);
    unsetenv("DISPLAY");
    return compositor;
}

PrivateCompositor::~PrivateCompositor() {
    if (pid_ > 0) {
        ::kill(pid_, SIGTERM);
        int status = 0;
        ::waitpid(pid_, &status, 0);
    }
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}
