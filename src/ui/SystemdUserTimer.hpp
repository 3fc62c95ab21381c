#pragma once
#include "async/GLibRef.hpp"
#include "ui/DailyTimer.hpp"

#include <functional>
#include <gio/gio.h>
#include <string>
#include <vector>

// The daily download as a timer unit of the user's systemd instance, reached
// over the session bus: on means enabled (it starts with each login) and
// started, as `systemctl --user enable --now` leaves it; off means stopped
// and disabled. After each request the state is read back from systemd, so
// the switch shows what systemd holds, whatever failed on the way.
//
// The D-Bus calls never start a service: where nothing owns the systemd name
// on the session bus, or there is no session bus, the state is unavailable.
class SystemdUserTimer : public DailyTimer {
  public:
    static constexpr const char* dailyUnit = "orvo-wav-downloader-new.timer";

    explicit SystemdUserTimer(std::string unit = dailyUnit);
    ~SystemdUserTimer() override;

    State state() const override { return state_; }
    std::string problem() const override { return problem_; }
    void setOn(bool on) override;

  private:
    using Reply = std::function<void(GVariant* result, GError* error)>;
    // One method of systemd's manager; the reply is dropped if this object
    // is gone by then.
    void call(const char* method, GVariant* parameters, Reply reply);
    void readState();
    struct Step {
        const char* method;
        std::function<GVariant*()> parameters; // made when the call is made
    };
    // The steps of a request, each once the one before succeeded; then the
    // state is read back, whatever happened.
    void runSteps(std::vector<Step> steps, std::size_t next, bool on);
    void show(State state);

    std::string unit_;
    State state_ = State::reading;
    std::string problem_;
    GObjectRef<GCancellable> cancellable_;
    GObjectRef<GDBusConnection> bus_;
};
