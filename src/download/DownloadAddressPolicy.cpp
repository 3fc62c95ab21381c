#include "download/DownloadAddressPolicy.hpp"

#include "model/Translation.hpp"

#include <algorithm>
#include <arpa/inet.h>
#include <array>
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

enum class HostKind { remote, loopback, special };

// The IANA special-purpose IPv4 registry, every entry, with multicast and
// the reserved block that holds the limited broadcast address: none of it is
// where a file on the web is served from.
struct V4Block {
    std::uint32_t network;
    int bits;
};
constexpr V4Block specialV4[] = {
    {0x00000000, 8},  // "this network" (0.0.0.0 reaches this computer)
    {0x0a000000, 8},  // private
    {0x64400000, 10}, // shared address space (carrier-grade NAT, mesh VPNs)
    {0xa9fe0000, 16}, // link local
    {0xac100000, 12}, // private
    {0xc0000000, 24}, // protocol assignments
    {0xc0000200, 24}, // documentation
    {0xc01fc400, 24}, // AS112
    {0xc034c100, 24}, // AMT
    {0xc0586300, 24}, // 6to4 relay anycast
    {0xc0a80000, 16}, // private
    {0xc0af3000, 24}, // AS112 direct delegation
    {0xc6120000, 15}, // benchmarking
    {0xc6336400, 24}, // documentation
    {0xcb007100, 24}, // documentation
    {0xe0000000, 4},  // multicast
    {0xf0000000, 4},  // reserved, broadcast
};

HostKind kindOfIPv4(std::uint32_t address) {
    if (address >> 24 == 0x7f)
        return HostKind::loopback;
    for (const auto& block : specialV4)
        if (address >> (32 - block.bits) == block.network >> (32 - block.bits))
            return HostKind::special;
    return HostKind::remote;
}

std::uint32_t v4At(const guint8* bytes) {
    return std::uint32_t(bytes[0]) << 24 | std::uint32_t(bytes[1]) << 16 |
           std::uint32_t(bytes[2]) << 8 | bytes[3];
}

bool allZero(const guint8* from, const guint8* to) {
    return std::all_of(from, to, [](guint8 b) { return b == 0; });
}

// The IPv6 forms that carry an IPv4 address, which is where they lead:
// IPv4-compatible (::/96), mapped (::ffff:0:0/96), translated
// (::ffff:0:0:0/96), NAT64 (64:ff9b::/96) and 6to4 (2002::/16).
std::optional<std::uint32_t> embeddedIPv4(const guint8* bytes) {
    static constexpr guint8 nat64[12] = {0, 0x64, 0xff, 0x9b, 0, 0, 0, 0, 0, 0, 0, 0};
    if (allZero(bytes, bytes + 10) &&
        ((bytes[10] == 0 && bytes[11] == 0) || (bytes[10] == 0xff && bytes[11] == 0xff)))
        return v4At(bytes + 12);
    if (allZero(bytes, bytes + 8) && bytes[8] == 0xff && bytes[9] == 0xff && bytes[10] == 0 &&
        bytes[11] == 0)
        return v4At(bytes + 12);
    if (std::equal(bytes, bytes + 12, nat64))
        return v4At(bytes + 12);
    if (bytes[0] == 0x20 && bytes[1] == 0x02)
        return v4At(bytes + 2);
    return std::nullopt;
}

// Within global unicast (2000::/3), the entries of the IANA special-purpose
// IPv6 registry; everything outside it (unique and link local, multicast,
// the rest of the reserved space) is special too.
struct V6Block {
    std::array<guint8, 6> prefix;
    int bits;
};
constexpr V6Block specialV6[] = {
    {{0x20, 0x01, 0x00, 0x00}, 23},             // protocol assignments, Teredo among them
    {{0x20, 0x01, 0x0d, 0xb8}, 32},             // documentation
    {{0x26, 0x20, 0x00, 0x4f, 0x80, 0x00}, 48}, // AS112 direct delegation
    {{0x3f, 0xff, 0x00, 0x00}, 20},             // documentation
};

bool inPrefix(const guint8* bytes, const V6Block& block) {
    const int whole = block.bits / 8;
    if (!std::equal(bytes, bytes + whole, block.prefix.begin()))
        return false;
    const int rest = block.bits % 8;
    const auto mask = guint8(0xff << (8 - rest));
    return rest == 0 || (bytes[whole] & mask) == (block.prefix[std::size_t(whole)] & mask);
}

HostKind kindOfIPv6(const guint8* bytes) {
    if (allZero(bytes, bytes + 15) && bytes[15] == 1)
        return HostKind::loopback;
    if (const auto v4 = embeddedIPv4(bytes))
        return kindOfIPv4(*v4);
    if ((bytes[0] & 0xe0) != 0x20)
        return HostKind::special;
    for (const auto& block : specialV6)
        if (inPrefix(bytes, block))
            return HostKind::special;
    return HostKind::remote;
}

HostKind kindOf(GInetAddress* address) {
    const guint8* bytes = g_inet_address_to_bytes(address);
    return g_inet_address_get_family(address) == G_SOCKET_FAMILY_IPV4 ? kindOfIPv4(v4At(bytes))
                                                                      : kindOfIPv6(bytes);
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
        return HostKind::special;
    if (host == "localhost" || host.ends_with(".localhost"))
        return HostKind::loopback;
    if (host.find(':') != std::string::npos) {
        GInetAddress* address =
            g_inet_address_new_from_string(host.substr(0, host.find('%')).c_str());
        if (!address)
            return HostKind::special;
        const HostKind kind = kindOf(address);
        g_object_unref(address);
        return kind;
    }
    // inet_aton reads every form getaddrinfo does: "127.1", "0x7f.1", "2130706433".
    if (in_addr v4{}; inet_aton(host.c_str(), &v4))
        return kindOfIPv4(ntohl(v4.s_addr));
    return endsInNumber(host) ? HostKind::special : HostKind::remote;
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
        return _("not a web address");
    const std::string scheme = parsed.scheme();
    if (scheme == "http" && !plainHttp_)
        return _("plain http, not https");
    if (scheme != "https" && scheme != "http")
        return _("not a web address");
    if (g_uri_get_userinfo(parsed.uri) || g_uri_get_user(parsed.uri))
        return _("the address holds a user name or password");
    if (!localHosts_ && isLocalHost(parsed.host()))
        return _("the address is on this computer or the local network");
    return std::nullopt;
}

std::optional<std::string> DownloadAddressPolicy::connectionRefusal(GInetAddress* address) const {
    if (localHosts_ || kindOf(address) == HostKind::remote)
        return std::nullopt;
    char* text = g_inet_address_to_string(address);
    const std::string resolved(text);
    g_free(text);
    // Translators: {address} is an IP address ("127.0.0.1").
    return Translation::fill(_("the host name leads to {address}, on this computer or the local "
                               "network"),
                             {{"address", resolved}});
}
