#include "download/DownloadAddressPolicy.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <gio/gio.h>

namespace {

// Parsed the way libsoup parses the address it fetches, so the host judged
// here is the host it connects to (escapes decoded, international names
// turned to their ASCII form, "１２７.０.０.１" to "127.0.0.1").
constexpr auto httpUriFlags =
    GUriFlags(G_URI_FLAGS_HAS_PASSWORD | G_URI_FLAGS_ENCODED_PATH | G_URI_FLAGS_ENCODED_QUERY |
              G_URI_FLAGS_ENCODED_FRAGMENT | G_URI_FLAGS_SCHEME_NORMALIZE);

struct ParsedUri {
    GUri* uri;
    explicit ParsedUri(std::string_view address)
        : uri(g_uri_parse(std::string(address).c_str(), httpUriFlags, nullptr)) {}
    ~ParsedUri() {
        if (uri)
            g_uri_unref(uri);
    }
    ParsedUri(const ParsedUri&) = delete;
    ParsedUri& operator=(const ParsedUri&) = delete;
    std::string scheme() const { return lower(g_uri_get_scheme(uri)); }
    std::string host() const { return lower(g_uri_get_host(uri)); }
    static std::string lower(const char* text) {
        std::string out(text ? text : "");
        for (char& c : out)
            c = g_ascii_tolower(c);
        return out;
    }
};

enum class HostKind { remote, loopback, local };

HostKind kindOfIPv4(std::uint32_t address) {
    const auto in = [address](std::uint32_t network, int bits) {
        return (address >> (32 - bits)) == (network >> (32 - bits));
    };
    if (in(0x7f000000, 8))
        return HostKind::loopback;
    if (in(0x00000000, 8) || in(0x0a000000, 8) || in(0xac100000, 12) || in(0xc0a80000, 16) ||
        in(0xa9fe0000, 16))
        return HostKind::local; // "this network" (0.0.0.0 reaches this computer), private, link
    return HostKind::remote;
}

HostKind kindOfIPv6(const guint8* bytes) {
    static constexpr guint8 mappedPrefix[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
    if (std::equal(bytes, bytes + 12, mappedPrefix))
        return kindOfIPv4(std::uint32_t(bytes[12]) << 24 | std::uint32_t(bytes[13]) << 16 |
                          std::uint32_t(bytes[14]) << 8 | bytes[15]);
    const bool zeroes = std::all_of(bytes, bytes + 15, [](guint8 b) { return b == 0; });
    if (zeroes && bytes[15] == 1)
        return HostKind::loopback;
    if ((zeroes && bytes[15] == 0) || (bytes[0] & 0xfe) == 0xfc || // unspecified, unique local
        (bytes[0] == 0xfe && (bytes[1] & 0x80) == 0x80))           // link and site local
        return HostKind::local;
    return HostKind::remote;
}

// The resolver reads a host whose last label is a number as an IPv4 address.
bool endsInNumber(std::string_view host) {
    const std::string_view label = host.substr(host.rfind('.') + 1);
    if (label.starts_with("0x"))
        return label.substr(2).find_first_not_of("0123456789abcdef") == std::string_view::npos;
    return !label.empty() && label.find_first_not_of("0123456789") == std::string_view::npos;
}

HostKind kindOf(std::string_view raw) {
    std::string host = ParsedUri::lower(std::string(raw).c_str());
    if (!host.empty() && host.back() == '.')
        host.pop_back();
    if (host.empty())
        return HostKind::local;
    if (host == "localhost" || host.ends_with(".localhost"))
        return HostKind::loopback;
    if (host.find(':') != std::string::npos) {
        GInetAddress* address =
            g_inet_address_new_from_string(host.substr(0, host.find('%')).c_str());
        if (!address)
            return HostKind::local;
        const HostKind kind = kindOfIPv6(g_inet_address_to_bytes(address));
        g_object_unref(address);
        return kind;
    }
    // inet_aton reads every form getaddrinfo does: "127.1", "0x7f.1", "2130706433".
    if (in_addr v4{}; inet_aton(host.c_str(), &v4))
        return kindOfIPv4(ntohl(v4.s_addr));
    return endsInNumber(host) ? HostKind::local : HostKind::remote;
}

std::string hostOf(const std::string& origin) {
    const ParsedUri parsed(origin);
    return parsed.uri ? parsed.host() : "";
}

} // namespace

DownloadAddressPolicy::DownloadAddressPolicy(const Origins& origins) {
    const ParsedUri api(origins.api);
    const bool apiLoopback = api.uri && isLoopbackHost(api.host());
    plainHttp_ = apiLoopback && api.scheme() == "http";
    localHosts_ = apiLoopback && isLoopbackHost(hostOf(origins.web));
}

bool DownloadAddressPolicy::isLocalHost(std::string_view host) {
    return kindOf(host) != HostKind::remote;
}

bool DownloadAddressPolicy::isLoopbackHost(std::string_view host) {
    return kindOf(host) == HostKind::loopback;
}

std::optional<std::string> DownloadAddressPolicy::refusal(std::string_view address) const {
    const ParsedUri parsed(address);
    if (!parsed.uri || parsed.host().empty())
        return "not a web address";
    const std::string scheme = parsed.scheme();
    if (scheme == "http" && !plainHttp_)
        return "plain http, not https";
    if (scheme != "https" && scheme != "http")
        return "not a web address";
    if (g_uri_get_userinfo(parsed.uri) || g_uri_get_user(parsed.uri))
        return "the address holds a user name or password";
    if (!localHosts_ && isLocalHost(parsed.host()))
        return "the address is on this computer or the local network";
    return std::nullopt;
}
