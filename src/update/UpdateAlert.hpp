#pragma once
// What a check tells the user, decided from the update host's answer (the
// document is described in UpdateChecker.hpp).
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

// True when version a is strictly higher than version b. Versions are
// compared as lists of whole numbers split at "." (1.10 is above 1.9, 1.0
// equals 1.0.0); a piece that is not a plain number, such as "0-beta",
// counts as 0.
bool isNewer(std::string_view a, std::string_view b);

// Characters of the published version an alert shows at most.
inline constexpr long maxShownVersion = 64;

// Whether an address may be offered as the download page: on the origin the
// update document came from, or over https on the web site's domain (its
// host without a leading "www.", and names under it); never with a user name
// or password, and made only of the characters an address may hold.
bool isDownloadPage(std::string_view address, std::string_view updateOrigin,
                    std::string_view webOrigin);

// The alert for one fetch of the document from updateOrigin: the transport
// failed, or this body came back (whatever the HTTP status). The published
// version is shown cut to maxShownVersion characters; the dialog filters it
// for display. A download page that is not one to offer is left out.
UpdateAlert alertFor(bool transportFailed, std::string_view body, std::string_view current,
                     std::string_view updateOrigin, std::string_view webOrigin);

} // namespace UpdateChecker
