#pragma once
// The manual check for a newer published version. The update-information
// host is a WordPress site; one media item's `alt_text` holds the latest
// version and, after a "|", the address of its download page:
//
//   "1.2.0|https://updates.example/download"
//
// Every check ends in exactly one alert, and nothing is kept between checks.
#include "async/Task.hpp"
#include "update/UpdateAlert.hpp"

#include <string>

namespace UpdateChecker {

// The update-information document on the configured update host.
const std::string& manifestURL();

// This build's version; "1.0" when the build gave none.
std::string currentVersion();

// Fetches the document (never from a cache; the transfer fails after
// timeoutSeconds without a sign from the server) and gives the alert to
// show, with a download page only on the document's own origin or on the
// web site. Never throws.
Task<UpdateAlert> check(std::string url, std::string current, std::string webOrigin,
                        unsigned timeoutSeconds = 15);
// The same for manifestURL(), currentVersion() and the configured web site,
// all read now.
Task<UpdateAlert> check();

} // namespace UpdateChecker
