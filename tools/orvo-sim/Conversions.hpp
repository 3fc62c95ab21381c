#pragma once
#include "Catalogue.hpp"
#include "Options.hpp"
#include "SimClock.hpp"

#include <map>
#include <optional>
#include <string>

// The WAV conversion of each clip. A request starts it; it is ready after
// the clip's delay, sooner after a prod, never for a clip set never to be
// ready, and only after a prod for a clip that needs one.
class Conversions {
  public:
    enum class State { notRequested, converting, ready };

    Conversions(const Options& options, const SimClock& clock) : options_(options), clock_(clock) {}

    void request(const CatalogueClip& clip);
    void prod(const CatalogueClip& clip);
    State state(const CatalogueClip& clip) const;

    // Seconds of audio in the clip's WAV file.
    double wavSeconds(const CatalogueClip& clip) const;

  private:
    struct Progress {
        std::optional<double> requestedAt;
        std::optional<double> proddedAt;
    };
    double delayOf(const CatalogueClip& clip) const;
    bool neverReady(const CatalogueClip& clip) const;
    bool needsProd(const CatalogueClip& clip) const;

    const Options& options_;
    const SimClock& clock_;
    std::map<std::string, Progress> progress_;
};
