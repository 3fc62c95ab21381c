#include "support/StandInService.hpp"

#include "tools/HttpClient.hpp"

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <stdexcept>
#include <sys/prctl.h>

namespace {

// One request to the service's own test routes; returns the body, and throws
// unless the service answered 200.
std::string request(const char* method, const std::string& address) {
    const auto answer = Http::send(method, address);
    if (answer.status != 200)
        throw std::runtime_error("orvo-sim " + address + ": status " +
                                 std::to_string(answer.status) + " " + answer.body);
    return answer.body;
}

} // namespace

StandInService::StandInService(std::vector<std::string> arguments) {
    if (std::ranges::none_of(arguments,
                             [](const auto& a) { return a.starts_with("--accept-token"); }))
        arguments.insert(arguments.end(), {std::string("--accept-token"), acceptedToken});
    // ORVO_SIM overrides the built program, for trying another build.
    const char* other = std::getenv("ORVO_SIM");
    const std::string program = other && *other ? other : ORVO_SIM_PATH;
    std::vector<const char*> argv{program.c_str()};
    for (const auto& argument : arguments)
        argv.push_back(argument.c_str());
    argv.push_back(nullptr);

    GObjectRef<GSubprocessLauncher> launcher(
        g_subprocess_launcher_new(G_SUBPROCESS_FLAGS_STDOUT_PIPE));
    // The stand-in ends with the test, even one that crashes.
    g_subprocess_launcher_set_child_setup(
        launcher.get(), [](gpointer) { ::prctl(PR_SET_PDEATHSIG, SIGTERM); }, nullptr, nullptr);
    GError* error = nullptr;
    process_.reset(g_subprocess_launcher_spawnv(launcher.get(), argv.data(), &error));
    if (!process_) {
        const GErrorRef owned(error);
        throw std::runtime_error("cannot start orvo-sim (" + program + "): " + error->message);
    }
    // Its first line names the origins; a program that cannot start exits
    // instead, which ends the read.
    GObjectRef<GDataInputStream> out(
        g_data_input_stream_new(g_subprocess_get_stdout_pipe(process_.get())));
    GCharRef line(g_data_input_stream_read_line(out.get(), nullptr, nullptr, nullptr));
    const std::string text = line ? line.get() : "";
    try {
        const auto origins = nlohmann::json::parse(text);
        for (auto [key, origin] : {std::pair{"web", &web_},
                                   {"api", &api_},
                                   {"update", &update_},
                                   {"storage", &storage_}})
            *origin = origins.at(key).get<std::string>();
    } catch (const nlohmann::json::exception&) {
        const int status = stop();
        throw std::runtime_error("orvo-sim (" + program + ") did not start: status " +
                                 std::to_string(status) + ", first line \"" + text + "\"");
    }
}

StandInService::~StandInService() {
    stop();
}

int StandInService::stop() {
    if (!process_)
        return status_;
    g_subprocess_send_signal(process_.get(), SIGTERM);
    g_subprocess_wait(process_.get(), nullptr, nullptr);
    status_ = g_subprocess_get_if_exited(process_.get())
                  ? g_subprocess_get_exit_status(process_.get())
                  : -1;
    process_.reset();
    return status_;
}

nlohmann::json StandInService::counters() const {
    return nlohmann::json::parse(request("GET", api_ + "/_sim/counters"));
}

int StandInService::count(const std::string& route) const {
    return counters()["routes"].value(route, 0);
}

int StandInService::count(const std::string& clip, const std::string& route) const {
    const auto clips = counters()["clips"];
    return clips.contains(clip) ? clips[clip].value(route, 0) : 0;
}

void StandInService::advanceClock(double seconds) const {
    request("POST", api_ + "/_sim/clock?advance=" + std::to_string(seconds));
}

void StandInService::endSessions() const { request("DELETE", api_ + "/_sim/sessions"); }
