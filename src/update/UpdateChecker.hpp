#pragma once
// The manual check for a newer published version. The update-information
// host is a WordPress site; one media item's `alt_text` holds the latest
// version and, after a "|", the address of its download page:
//
//   "1.2.0|https://updates.example/download"
//
// Every check ends in exactly one alert, and nothing is kept between checks.
#include "async/Task.hpp"

#include <optional>
#include <string>
#include <string_view>

// What the user is told: title, body, and the download page to offer, if any
// ("Download" and "Later" with one, a single "OK" without).
struct UpdateAlert {
    std::string title;
    std::string body;
    std::optional<std::string> download;
    bool operator==(const UpdateAlert&) const = default;
};

namespace UpdateChecker {

// The update-information document on the configured update host.
const std::string& manifestURL();

// This build's version; "1.0" when the build gave none.
std::string currentVersion();

// True when version a is strictly higher than version b. Versions are
// compared as lists of whole numbers split at "." (1.10 is above 1.9, 1.0
// equals 1.0.0); a piece that is not a plain number, such as "0-beta",
// counts as 0.
bool isNewer(std::string_view a, std::string_view b);

// Characters of the published version an alert shows at most.
inline constexpr long maxShownVersion = 64;

// The alert for one fetch of the document: the transport failed, or this
// body came back (whatever the HTTP status). The published version is shown
// cut to maxShownVersion characters; the dialog filters it for display.
UpdateAlert alertFor(bool transportFailed, std::string_view body, std::string_view current);

// Fetches the document (never from a cache; the transfer fails after
// timeoutSeconds without a sign from the server) and gives the alert to
// show. Never throws.
Task<UpdateAlert> check(std::string url, std::string current, unsigned timeoutSeconds = 15);
// The same for manifestURL() and currentVersion(), both read now.
Task<UpdateAlert> check();

} // namespace UpdateChecker
