#pragma once
#include "Accounts.hpp"
#include "Catalogue.hpp"
#include "Conversions.hpp"
#include "Counters.hpp"
#include "Options.hpp"
#include "SimClock.hpp"

#include <map>
#include <string>

// Everything the three sites share: the settings, the library, the time,
// the sign-ins, the conversions and what has been asked so far.
struct World {
    World(Options options, Catalogue catalogue)
        : options(std::move(options)), catalogue(std::move(catalogue)),
          accounts(this->options.stateDir
                       ? std::optional<std::filesystem::path>(*this->options.stateDir)
                       : std::nullopt,
                   clock, this->options.tokenLifetime, this->options.acceptToken),
          conversions(this->options, clock) {}

    Options options;
    Catalogue catalogue;
    SimClock clock;
    Accounts accounts;
    Conversions conversions;
    Counters counters;

    std::string webOrigin;
    std::string apiOrigin;
    std::string updateOrigin;
    std::string storageOrigin;

    long feedCalls = 0; // authorised feed calls so far
    // Calls per route and known clip, for faults that last a clip's first N
    // calls; unlike the counters, never reset.
    std::map<std::string, std::map<std::string, long>> clipCalls;
};
