#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The three origins the app talks to: the service's web site (the page the
// user signs in on), its studio API, and the update-information host.
struct Origins {
    std::string web;
    std::string api;
    std::string update;
    // The service's own sign-in pages elsewhere than on the web site.
    std::vector<std::string> signIn;

    // The build's defaults, each overridden by ORVO_WEB_ORIGIN,
    // ORVO_API_ORIGIN, ORVO_UPDATE_ORIGIN or ORVO_SIGN_IN_ORIGINS (separated
    // by spaces) when set. Read once.
    static const Origins& current();
    static Origins fromEnvironment();

    // The origin of an address as a page's location.origin reads it: the
    // scheme and host in lower case, the port only when it is not the
    // scheme's default. None for an address without a host.
    static std::optional<std::string> originOf(std::string_view address);

    // Whether an address lies on the web site or one of the sign-in origins.
    bool isService(std::string_view address) const;

    // The web site's root, the page the session loads.
    std::string homePage() const { return web + "/"; }

    // A track's page: the web origin, "/song/" and the id escaped as one
    // path segment; none for an empty id, "." or "..", or when that is not
    // a valid address.
    std::optional<std::string> songURL(std::string_view id) const;
};
