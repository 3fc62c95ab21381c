#pragma once
#include "model/Origins.hpp"

#include <gio/gio.h>
#include <optional>
#include <string>
#include <string_view>

// Which addresses the native download fetches: the page hands the address
// over, so a compromised page must not turn the app against the user's own
// machine or network, nor against plain-text transfers.
//
// An address is fetched only when it is https (plain http too when the API
// origin is itself http on this computer, as with the stand-in service),
// holds no user name or password, and leads to no loopback, private,
// link-local or other special-purpose address (allowed only when the web
// and API origins are on this computer). The text is judged first: an IP
// address in any form the system's resolver reads ("127.1", "0x7f000001",
// "[::1]", "[64:ff9b::7f00:1]") and "localhost" names. Then the address
// each connection is really made to, once the name is resolved, is judged
// the same way just before it is made (see connectionRefusal), so no name
// that resolves to this computer or the local network is reached.
class DownloadAddressPolicy {
  public:
    // Redirects followed at most for one download.
    static constexpr int maxRedirects = 5;

    explicit DownloadAddressPolicy(const Origins& origins);

    // Why the address is not fetched, as a phrase for the activity log;
    // none when it may be.
    std::optional<std::string> refusal(std::string_view address) const;

    // Why a connection to this resolved address is refused; none when it
    // may be made.
    std::optional<std::string> connectionRefusal(GInetAddress* address) const;

    bool allowsPlainHttp() const { return plainHttp_; }
    bool allowsLocalHosts() const { return localHosts_; }

    // Whether a host (as an address holds it, IPv6 without brackets) is
    // this computer, the local network, a link or another special-purpose
    // network (documentation, multicast, NAT64 to any of them...); a host
    // that is almost but not quite an IP address counts as one.
    static bool isLocalHost(std::string_view host);
    // Whether it is this computer: "localhost" or a loopback address.
    static bool isLoopbackHost(std::string_view host);

  private:
    bool plainHttp_ = false;
    bool localHosts_ = false;
};
