#pragma once
#include "HttpServer.hpp"
#include "WavStorage.hpp"
#include "World.hpp"

// The studio API: the feed, conversion, the two prod routes and the WAV
// addresses, with CORS for the web site's page. Each route answers only its
// own method, exact path, bearer token and content type, as the service does.
class StudioApi {
  public:
    StudioApi(World& world, WavStorage& storage) : world_(world), storage_(storage) {}
    void handle(Exchange& exchange);

  private:
    void feed(Exchange& exchange);
    void clipRoute(Exchange& exchange, const std::string& route, const std::string& id);
    bool authorised(const Exchange& exchange) const;
    std::optional<ApiFault> clipFault(const std::string& route, const CatalogueClip& clip);
    // Answers with the fault unless it only slows the usual answer down.
    bool answeredByFault(Exchange& exchange, const std::optional<ApiFault>& fault);

    World& world_;
    WavStorage& storage_;
};
