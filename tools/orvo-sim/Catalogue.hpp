#pragma once
#include "Options.hpp"

#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// A catalogue file the program cannot use; the text names the place.
class CatalogueError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// One clip of the user's library: what the feed shows of it, and how the
// stand-in behaves when it is converted.
struct CatalogueClip {
    nlohmann::json feed; // served as is in the feed's `clips`
    std::string id;      // empty when the clip has no text id
    std::optional<double> convertDelay;
    bool neverReady = false;
    bool needsProd = false;
    std::optional<double> wavSeconds;
    // Faults of this clip's routes, by route name, each "KIND[#N]".
    std::map<std::string, std::pair<ApiFault, std::optional<long>>> apiFaults;
    std::optional<std::pair<WavFault, std::optional<long>>> wavFault;

    // Plain fields for the track page; defaults where the feed lacks them.
    std::string title() const;
    std::string projectName() const;
};

// The whole library in feed order (newest first), looked up by clip id.
class Catalogue {
  public:
    // Reads a JSON object whose `clips` array holds clips in the feed's
    // shape, each optionally with convert_delay, never_ready, needs_prod,
    // wav_seconds, api_faults and wav_fault.
    static Catalogue load(const std::string& path);
    static Catalogue fromJson(const nlohmann::json& document);
    static Catalogue generate(const GeneratorSettings& settings);

    const std::vector<CatalogueClip>& clips() const { return clips_; }
    // The first clip with this id, or none.
    const CatalogueClip* find(const std::string& id) const;

  private:
    void index();

    std::vector<CatalogueClip> clips_;
    std::map<std::string, std::size_t> byId_;
};
