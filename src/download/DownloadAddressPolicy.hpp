#pragma once
#include "model/Origins.hpp"

#include <optional>
#include <string>
#include <string_view>

// Which addresses the native download fetches: the page hands the address
// over, so a compromised page must not turn the app against the user's own
// machine or network, nor against plain-text transfers.
//
// An address is fetched only when it is https (plain http too when the API
// origin is itself http on this computer, as with the stand-in service),
// holds no user name or password, and names no loopback, private or
// link-local host (allowed only when the web and API origins are on this
// computer). Hosts are judged by what the address says: an IP address in
// any form the system's resolver reads ("127.1", "0x7f000001", "[::1]",
// "[::ffff:10.0.0.1]") and "localhost" names. Names are not resolved: the
// answer could change before the connection is made, and a proxy on the
// local network would be refused with them.
class DownloadAddressPolicy {
  public:
    // Redirects followed at most for one download.
    static constexpr int maxRedirects = 5;

    explicit DownloadAddressPolicy(const Origins& origins);

    // Why the address is not fetched, as a phrase for the activity log;
    // none when it may be.
    std::optional<std::string> refusal(std::string_view address) const;

    bool allowsPlainHttp() const { return plainHttp_; }
    bool allowsLocalHosts() const { return localHosts_; }

    // Whether a host (as an address holds it, IPv6 without brackets) is
    // this computer, the local network or a link; a host that is almost
    // but not quite an IP address counts as one.
    static bool isLocalHost(std::string_view host);
    // Whether it is this computer: "localhost" or a loopback address.
    static bool isLoopbackHost(std::string_view host);

  private:
    bool plainHttp_ = false;
    bool localHosts_ = false;
};
