#pragma once
#include "HttpServer.hpp"
#include "World.hpp"

// The update-information host: a WordPress site whose media item 7848
// carries the published version and download address in its alt_text.
class UpdateHost {
  public:
    explicit UpdateHost(World& world) : world_(world) {}
    void handle(Exchange& exchange);

  private:
    std::string altText() const;

    World& world_;
};
