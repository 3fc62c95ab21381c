#pragma once
#include "async/GLibRef.hpp"

#include <gio/gio.h>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// Runs the stand-in Orvo service (tools/orvo-sim) for one test: the web
// site with sign-in and `window.Clerk`, the studio API, the update host and
// the file storage, each on a free port of 127.0.0.1.
//
//   StandInService service({"--catalogue", file.string(), "--page-size", "5"});
//   webView.load(service.webOrigin() + "/");
//   ... service.counters()["clips"][id]["convert_wav"] == 2 ...
//
// Link it with `orvo_test(... LIBS stand_in_service)`; the test then builds
// after orvo-sim. The program's options are listed in tools/orvo-sim/README.md.
class StandInService {
  public:
    // A bearer token the API always accepts: passed as --accept-token unless
    // the arguments name one of their own.
    static constexpr const char* acceptedToken = "stand-in-test-token";

    // Starts the program with these extra arguments and waits for its line
    // of origins; throws std::runtime_error if the program ends without it.
    explicit StandInService(std::vector<std::string> arguments = {});
    // Stops the program: SIGTERM, then waits for it.
    ~StandInService();
    StandInService(const StandInService&) = delete;
    StandInService& operator=(const StandInService&) = delete;

    // "http://127.0.0.1:PORT", without a trailing slash.
    const std::string& webOrigin() const { return web_; }
    const std::string& apiOrigin() const { return api_; }
    const std::string& updateOrigin() const { return update_; }
    const std::string& storageOrigin() const { return storage_; }

    // What the service has been asked so far, {"routes": {"feed": 3, ...},
    // "clips": {"<id>": {"convert_wav": 2, ...}}, "feed_bodies": [...],
    // "feed_calls": 3}; the names are listed in tools/orvo-sim/README.md.
    nlohmann::json counters() const;
    // How often a route was asked for, in all or for one clip.
    int count(const std::string& route) const;
    int count(const std::string& clip, const std::string& route) const;

    // Moves the service's clock on: delays and lifetimes pass without waiting.
    void advanceClock(double seconds) const;
    // Ends every sign-in, as a service that revokes sessions does.
    void endSessions() const;

    // Stops the program now; its exit status (-1 if it did not exit normally).
    int stop();

  private:
    GObjectRef<GSubprocess> process_;
    int status_ = -1;
    std::string web_;
    std::string api_;
    std::string update_;
    std::string storage_;
};
