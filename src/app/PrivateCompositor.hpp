#pragma once
#include <filesystem>
#include <memory>
#include <string>
#include <sys/types.h>

// A display for a run that has none (a timer, an SSH session, a server):
// Weston's headless back end with its kiosk shell, on a socket in a runtime
// folder of its own, so nothing of a desktop session is touched. It is
// started before GTK and stopped, by its process id, when this goes.
class PrivateCompositor {
  public:
    // Whether the display the environment names (WAYLAND_DISPLAY, DISPLAY)
    // accepts a connection. Asked before any GTK call: once GTK has failed
    // to open a display, it reports success the next time with none.
    static bool displayReachable();

    // Starts the compositor and points WAYLAND_DISPLAY, GDK_BACKEND and
    // XDG_RUNTIME_DIR at it; none, with the reason in why, when it cannot.
    static std::unique_ptr<PrivateCompositor> start(std::string& why);
    ~PrivateCompositor();
    PrivateCompositor(const PrivateCompositor&) = delete;
    PrivateCompositor& operator=(const PrivateCompositor&) = delete;

    const std::filesystem::path& socket() const { return socket_; }

  private:
    PrivateCompositor(pid_t pid, std::filesystem::path folder)
        : pid_(pid), folder_(std::move(folder)), socket_(folder_ / "wayland-0") {}
    pid_t pid_;
    std::filesystem::path folder_;
    std::filesystem::path socket_;
};
