#pragma once
#include "HttpServer.hpp"
#include "World.hpp"

// The WAV files of finished conversions. The address the API names serves
// the file itself, or, with --wav-redirect, sends the client on to a signed
// address on the storage origin that expires after --signed-url-lifetime.
class WavStorage {
  public:
    explicit WavStorage(World& world);

    // The address `wav_file_url` names for a clip.
    std::string address(const CatalogueClip& clip) const;
    // GET /storage/wav/{id}.wav on the API origin.
    void serveAddress(Exchange& exchange);
    // The storage origin: GET /wav/{id}.wav?expires=…&signature=…
    void handle(Exchange& exchange);

  private:
    std::string signature(const std::string& id, const std::string& expires) const;
    void serveFile(Exchange& exchange, const std::string& id);

    World& world_;
    std::string key_;
};
