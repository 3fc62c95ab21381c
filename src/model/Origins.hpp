#pragma once
#include <optional>
#include <string>
#include <string_view>

// The three origins the app talks to: the service's web site (the page the
// user signs in on), its studio API, and the update-information host.
struct Origins {
    std::string web;
    std::string api;
    std::string update;

    // The build's defaults, each overridden by ORVO_WEB_ORIGIN,
    // ORVO_API_ORIGIN or ORVO_UPDATE_ORIGIN when set. Read once.
    static const Origins& current();
    static Origins fromEnvironment();

    // The web site's root, the page the session loads.
    std::string homePage() const { return web + "/"; }

    // A track's page: the web origin, "/song/" and the id joined unchanged;
    // none when that is not a valid address.
    std::optional<std::string> songURL(std::string_view id) const;
};
