#include "ui/SystemdUserTimer.hpp"

#include "model/Translation.hpp"

#include <cstring>
#include <memory>

namespace {

constexpr const char* systemdName = "org.freedesktop.systemd1";
constexpr const char* managerPath = "/org/freedesktop/systemd1";
constexpr const char* managerInterface = "org.freedesktop.systemd1.Manager";
// Enabling reloads the manager, which takes a while on a busy desktop.
constexpr int callTimeoutMs = 30000;

bool cancelled(const GError* error) {
    return error && g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED);
}

// The name of a D-Bus error, or empty when it is not one.
std::string remoteName(const GError* error) {
    GCharRef name(g_dbus_error_get_remote_error(error));
    return name ? name.get() : "";
}

// The error's own words, without GDBus's prefix naming the error.
std::string reason(const GError* error) {
    GErrorRef copy(g_error_copy(error));
    g_dbus_error_strip_remote_error(copy.get());
    return copy->message;
}

// The unit file is not where systemd looks: GetUnitFileState and
// EnableUnitFiles say so in these two ways.
bool unitMissing(const GError* error) {
    const std::string name = remoteName(error);
    return name == "org.freedesktop.DBus.Error.FileNotFound" ||
           name == "org.freedesktop.systemd1.NoSuchUnit";
}

GVariant* unitList(const std::string& unit) {
    const char* units[] = {unit.c_str()};
    return g_variant_new_strv(units, 1);
}

} // namespace

SystemdUserTimer::SystemdUserTimer(std::string unit)
    : unit_(std::move(unit)), cancellable_(g_cancellable_new()) {
    using Connected = std::function<void(GDBusConnection*, GError*)>;
    auto* connected = new Connected([this](GDBusConnection* bus, GError* error) {
        if (!bus) {
            g_debug("no session bus for the daily timer: %s", error ? error->message : "");
            show(State::unavailable);
            return;
        }
        bus_.reset(bus);
        readState();
    });
    g_bus_get(
        G_BUS_TYPE_SESSION, cancellable_.get(),
        +[](GObject*, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Connected> connected(static_cast<Connected*>(data));
            GError* error = nullptr;
            GDBusConnection* bus = g_bus_get_finish(result, &error);
            GErrorRef owned(error);
            if (!cancelled(error))
                (*connected)(bus, error);
            else if (bus)
                g_object_unref(bus);
        },
        connected);
}

SystemdUserTimer::~SystemdUserTimer() {
    // The replies still to come find the cancellation and leave this alone.
    g_cancellable_cancel(cancellable_.get());
}

void SystemdUserTimer::call(const char* method, GVariant* parameters, Reply reply) {
    g_dbus_connection_call(
        bus_.get(), systemdName, managerPath, managerInterface, method, parameters, nullptr,
        G_DBUS_CALL_FLAGS_NO_AUTO_START, callTimeoutMs, cancellable_.get(),
        +[](GObject* source, GAsyncResult* result, gpointer data) {
            std::unique_ptr<Reply> reply(static_cast<Reply*>(data));
            GError* error = nullptr;
            GVariant* value =
                g_dbus_connection_call_finish(G_DBUS_CONNECTION(source), result, &error);
            GErrorRef owned(error);
            if (!cancelled(error))
                (*reply)(value, error);
            if (value)
                g_variant_unref(value);
        },
        new Reply(std::move(reply)));
}

void SystemdUserTimer::readState() {
    call("GetUnitFileState", g_variant_new("(s)", unit_.c_str()),
         [this](GVariant* result, GError* error) {
             if (error) {
                 if (unitMissing(error)) {
                     show(State::notInstalled);
                     return;
                 }
                 // Nobody owns systemd's name here, or it does not answer.
                 g_debug("no systemd user instance for %s: %s", unit_.c_str(), error->message);
                 show(State::unavailable);
                 return;
             }
             const char* fileState = nullptr;
             g_variant_get(result, "(&s)", &fileState);
             // "enabled", or "enabled-runtime" when enabled until the next boot.
             show(std::strncmp(fileState, "enabled", 7) == 0 ? State::on : State::off);
         });
}

void SystemdUserTimer::setOn(bool on) {
    if (state_ != State::on && state_ != State::off)
        return;
    if (on == (state_ == State::on))
        return;
    problem_.clear();
    show(on ? State::turningOn : State::turningOff);
    const std::string unit = unit_;
    // What `systemctl --user enable --now` and `disable --now` do: the link
    // that starts the timer at each login, a reload so that systemd sees the
    // link, and the timer started or stopped for this session.
    std::vector<Step> steps;
    if (on) {
        steps = {{"EnableUnitFiles",
                  [unit] { return g_variant_new("(@asbb)", unitList(unit), FALSE, FALSE); }},
                 {"Reload", [] { return static_cast<GVariant*>(nullptr); }},
                 {"StartUnit", [unit] { return g_variant_new("(ss)", unit.c_str(), "replace"); }}};
    } else {
        steps = {
            {"DisableUnitFiles", [unit] { return g_variant_new("(@asb)", unitList(unit), FALSE); }},
            {"Reload", [] { return static_cast<GVariant*>(nullptr); }},
            {"StopUnit", [unit] { return g_variant_new("(ss)", unit.c_str(), "replace"); }}};
    }
    runSteps(std::move(steps), 0, on);
}

void SystemdUserTimer::runSteps(std::vector<Step> steps, std::size_t next, bool on) {
    const Step& step = steps[next];
    call(step.method, step.parameters(), [this, steps, next, on](GVariant*, GError* error) {
        if (error) {
            if (!unitMissing(error))
                problem_ = Translation::fill(
                    on ? _("The daily download could not be turned on: {reason}")
                       : _("The daily download could not be turned off: {reason}"),
                    {{"reason", reason(error)}});
            readState();
        } else if (next + 1 < steps.size()) {
            runSteps(steps, next + 1, on);
        } else {
            readState();
        }
    });
}

void SystemdUserTimer::show(State state) {
    state_ = state;
    changed_.emit();
}
