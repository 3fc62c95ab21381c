// The daily timer against the user's systemd instance. The cases that need
// one run under with-user-systemd, which starts a private instance and names
// its configuration folder in ORVO_TEST_SYSTEMD_CONFIG; elsewhere they are
// skipped, and the session bus has no systemd on it.
#include "ui/SystemdUserTimer.hpp"

#include <cstdlib>
#include <filesystem>
#include <glib.h>
#include <gtest/gtest.h>
#include <string>

namespace {

using State = DailyTimer::State;
namespace fs = std::filesystem;

const char* systemdConfig() {
    return std::getenv("ORVO_TEST_SYSTEMD_CONFIG");
}

// Runs the main loop until the timer has its answer, for at most 30 s.
State settled(DailyTimer& timer) {
    const gint64 deadline = g_get_monotonic_time() + 30 * G_USEC_PER_SEC;
    const auto waiting = [&] {
        const State state = timer.state();
        return state == State::reading || state == State::turningOn || state == State::turningOff;
    };
    while (waiting() && g_get_monotonic_time() < deadline)
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    return timer.state();
}

// What systemctl says of the unit: "active", "inactive"...
std::string activeState(const std::string& unit) {
    gchar* out = nullptr;
    const std::string command = "systemctl --user is-active " + unit;
    g_spawn_command_line_sync(command.c_str(), &out, nullptr, nullptr, nullptr);
    std::string state = out ? out : "";
    g_free(out);
    return state.substr(0, state.find('\n'));
}

class SystemdUserTimerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!systemdConfig())
            GTEST_SKIP() << "no private systemd user instance (see with-user-systemd)";
        units = fs::path(systemdConfig()) / "systemd/user";
        link = units / "timers.target.wants" / SystemdUserTimer::dailyUnit;
    }
    fs::path units;
    fs::path link;
};

TEST_F(SystemdUserTimerTest, theSwitchWritesAndRemovesTheTimer) {
    const std::string unit = SystemdUserTimer::dailyUnit;
    SystemdUserTimer timer;
    EXPECT_EQ(timer.state(), State::reading);
    ASSERT_EQ(settled(timer), State::off);
    EXPECT_FALSE(fs::is_symlink(link));

    timer.setOn(true);
    EXPECT_EQ(timer.state(), State::turningOn);
    ASSERT_EQ(settled(timer), State::on) << timer.problem();
    EXPECT_EQ(timer.problem(), "");
    EXPECT_TRUE(fs::is_symlink(link)); // started again at each login
    EXPECT_EQ(activeState(unit), "active");
    // The next start of the app finds it on.
    SystemdUserTimer later;
    EXPECT_EQ(settled(later), State::on);

    timer.setOn(false);
    EXPECT_EQ(timer.state(), State::turningOff);
    ASSERT_EQ(settled(timer), State::off) << timer.problem();
    EXPECT_FALSE(fs::exists(fs::symlink_status(link)));
    EXPECT_EQ(activeState(unit), "inactive");
}

// A timer the user has masked cannot be turned on: the switch stays off and
// says what systemd answered, rather than showing a change that did not happen.
TEST_F(SystemdUserTimerTest, aRefusedChangeSaysWhyAndShowsWhatSystemdHolds) {
    const fs::path mask = units / SystemdUserTimer::dailyUnit;
    fs::create_directories(units);
    fs::create_symlink("/dev/null", mask);
    SystemdUserTimer timer;
    ASSERT_EQ(settled(timer), State::off);
    timer.setOn(true);
    EXPECT_EQ(settled(timer), State::off);
    EXPECT_NE(timer.problem().find("could not be turned on"), std::string::npos) << timer.problem();
    EXPECT_NE(timer.problem().find("masked"), std::string::npos) << timer.problem();
    EXPECT_FALSE(fs::is_symlink(link));
    fs::remove(mask);
}

TEST_F(SystemdUserTimerTest, aTimerSystemdDoesNotKnowIsNotInstalled) {
    SystemdUserTimer timer("orvo-wav-downloader-gone.timer");
    EXPECT_EQ(settled(timer), State::notInstalled);
    timer.setOn(true); // nothing to turn on
    EXPECT_EQ(timer.state(), State::notInstalled);
}

// No session bus at all, or one that systemd is not on (a desktop without
// systemd, a container): the switch has nothing to work.
TEST(SystemdUserTimerWithoutSystemd, thereIsNothingToSwitch) {
    if (systemdConfig())
        GTEST_SKIP() << "this session bus has systemd on it";
    const char* set = g_getenv("DBUS_SESSION_BUS_ADDRESS");
    const std::string address = set ? set : "";
    g_setenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus", TRUE);
    {
        SystemdUserTimer timer;
        EXPECT_EQ(settled(timer), State::unavailable);
    }
    if (address.empty())
        return;
    g_setenv("DBUS_SESSION_BUS_ADDRESS", address.c_str(), TRUE);
    SystemdUserTimer timer;
    EXPECT_EQ(settled(timer), State::unavailable);
    timer.setOn(true);
    EXPECT_EQ(timer.state(), State::unavailable);
}

} // namespace
