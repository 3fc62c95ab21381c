#pragma once
#include "HostilePages.hpp"
#include "HttpServer.hpp"
#include "StudioApi.hpp"
#include "UpdateHost.hpp"
#include "WebSite.hpp"
#include "World.hpp"

#include <memory>
#include <string>

// The four origins of the stand-in service (web site, API, update host and
// file storage), each on its own port of 127.0.0.1, plus the loopback-only
// /_sim/ routes that every one of them answers for tests: counters and the
// clock.
class Simulator {
  public:
    // Listens at once; throws std::runtime_error when a port is taken.
    Simulator(Options options, Catalogue catalogue);
    Simulator(const Simulator&) = delete;
    Simulator& operator=(const Simulator&) = delete;

    // The one line printed on start:
    // {"web":"http://127.0.0.1:P","api":…,"update":…,"storage":…}
    std::string originsLine() const;

  private:
    void serve(Exchange& exchange, const char* site, void (Simulator::*handler)(Exchange&));
    void control(Exchange& exchange);
    void web(Exchange& exchange) {
        if (!hostile_.handleWeb(exchange))
            web_.handle(exchange);
    }
    void api(Exchange& exchange) { api_.handle(exchange); }
    void update(Exchange& exchange) { update_.handle(exchange); }
    void storage(Exchange& exchange) {
        if (!hostile_.handleStorage(exchange))
            storage_.handle(exchange);
    }

    World world_;
    WebSite web_{world_};
    WavStorage storage_{world_};
    StudioApi api_{world_, storage_};
    UpdateHost update_{world_};
    HostilePages hostile_{world_};
    std::unique_ptr<HttpServer> webServer_;
    std::unique_ptr<HttpServer> apiServer_;
    std::unique_ptr<HttpServer> updateServer_;
    std::unique_ptr<HttpServer> storageServer_;
};
