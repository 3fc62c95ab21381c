#include "support/StandInService.hpp"
#include "tools/HttpClient.hpp"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

std::string programPath() {
    // ORVO_SIM overrides the built program, for trying another build.
    if (const char* path = std::getenv("ORVO_SIM"); path && *path)
        return path;
    return ORVO_SIM_PATH;
}

// Reads one line from fd within the time limit; empty if none came.
std::string readLine(int fd, std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    std::string line;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return {};
        pollfd ready{fd, POLLIN, 0};
        const int polled = ::poll(&ready, 1, static_cast<int>(left.count()));
        if (polled < 0 && errno == EINTR)
            continue;
        if (polled <= 0)
            return {};
        char c;
        const auto got = ::read(fd, &c, 1);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return {};
        if (c == '\n')
            return line;
        line += c;
    }
}

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
    bool ownToken = false;
    for (const auto& argument : arguments)
        ownToken = ownToken || argument.starts_with("--accept-token");
    if (!ownToken) {
        arguments.push_back("--accept-token");
        arguments.push_back(acceptedToken);
    }
    const std::string program = programPath();
    std::vector<char*> argv{const_cast<char*>(program.c_str())};
    for (auto& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);

    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe for orvo-sim");
    pid_ = ::fork();
    if (pid_ < 0) {
        ::close(out[0]);
        ::close(out[1]);
        throw std::runtime_error("cannot start orvo-sim");
    }
    if (pid_ == 0) {
        // In the child: only async-signal-safe calls until exec.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
        ::dup2(out[1], STDOUT_FILENO);
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    const std::string line = readLine(out[0], std::chrono::seconds(10));
    ::close(out[0]);

    try {
        const auto origins = nlohmann::json::parse(line);
        web_ = origins.at("web").get<std::string>();
        api_ = origins.at("api").get<std::string>();
        update_ = origins.at("update").get<std::string>();
    } catch (const nlohmann::json::exception&) {
        const int status = stop();
        throw std::runtime_error("orvo-sim (" + program + ") did not start: status " +
                                 std::to_string(status) + ", first line \"" + line + "\"");
    }
}

StandInService::~StandInService() {
    stop();
}

int StandInService::stop() {
    if (pid_ <= 0)
        return status_;
    ::kill(pid_, SIGTERM);
    int raw = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (;;) {
        const pid_t done = ::waitpid(pid_, &raw, WNOHANG);
        if (done == pid_ || (done < 0 && errno != EINTR))
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &raw, 0);
            break;
        }
        ::usleep(10'000);
    }
    status_ = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    pid_ = -1;
    return status_;
}

nlohmann::json StandInService::counters() const {
    return nlohmann::json::parse(request("GET", api_ + "/_sim/counters"));
}

void StandInService::resetCounters() const {
    request("DELETE", api_ + "/_sim/counters");
}

void StandInService::advanceClock(double seconds) const {
    request("POST", api_ + "/_sim/clock?advance=" + std::to_string(seconds));
}
