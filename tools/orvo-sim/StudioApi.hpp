#pragma once
#include "HttpServer.hpp"
#include "World.hpp"

// The studio API and the file storage beside it: the feed, conversion, the
// two prod routes and the WAV files, with CORS for the web site's page.
class StudioApi {
  public:
    explicit StudioApi(World& world) : world_(world) {}
    void handle(Exchange& exchange);

  private:
    void feed(Exchange& exchange);
    void convertWav(Exchange& exchange, const CatalogueClip& clip);
    void wavFile(Exchange& exchange, const CatalogueClip& clip);
    void storage(Exchange& exchange);
    bool authorised(const Exchange& exchange) const;
    std::optional<WavFault> wavFault(const std::string& id, long request) const;

    World& world_;
};
