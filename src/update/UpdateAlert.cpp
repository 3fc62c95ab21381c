// Deciding what a check tells the user.
#include "update/UpdateAlert.hpp"

#include "download/WebAddress.hpp"
#include "model/Origins.hpp"

#include <charconv>
#include <cstdint>
#include <glib.h>
#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

namespace {

constexpr const char* cannotCheck = "Couldn’t check for updates";

UpdateAlert noConnection() {
    return {cannotCheck, "Please check your internet connection and try again.", std::nullopt};
}

// Spaces and tabs: what is trimmed from the version and the address.
bool isBlank(gunichar c) {
    return c == '\t' || g_unichar_type(c) == G_UNICODE_SPACE_SEPARATOR;
}
bool isLineBreak(gunichar c) {
    return (c >= 0x0A && c <= 0x0D) || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// The text without leading and trailing characters that match. The text is
// valid UTF-8 (it came out of the JSON parser).
template <typename Match> std::string_view trim(std::string_view text, Match match) {
    const char* begin = text.data();
    const char* end = begin + text.size();
    while (begin < end && match(g_utf8_get_char(begin)))
        begin = g_utf8_next_char(begin);
    while (begin < end) {
        const char* last = g_utf8_find_prev_char(begin, end);
        if (!match(g_utf8_get_char(last)))
            break;
        end = last;
    }
    return {begin, std::size_t(end - begin)};
}

std::string_view trimBlanks(std::string_view text) {
    return trim(text, isBlank);
}

// One piece of a version: an optional sign and decimal digits that fit in
// 64 bits; anything else is 0.
std::int64_t versionNumber(std::string_view piece) {
    bool negative = false;
    if (!piece.empty() && (piece[0] == '+' || piece[0] == '-')) {
        negative = piece[0] == '-';
        piece.remove_prefix(1);
    }
    if (piece.empty() || piece.find_first_not_of("0123456789") != std::string_view::npos)
        return 0;
    std::uint64_t magnitude = 0;
    const auto [end, error] = std::from_chars(piece.data(), piece.data() + piece.size(), magnitude);
    constexpr auto limit = std::uint64_t(std::numeric_limits<std::int64_t>::max());
    if (error != std::errc() || magnitude > limit + (negative ? 1 : 0))
        return 0;
    return negative ? std::int64_t(0 - magnitude) : std::int64_t(magnitude);
}

std::vector<std::int64_t> versionNumbers(std::string_view version) {
    std::vector<std::int64_t> numbers;
    while (!version.empty()) {
        const auto dot = version.find('.');
        const auto piece = version.substr(0, dot);
        if (!piece.empty())
            numbers.push_back(versionNumber(piece));
        if (dot == std::string_view::npos)
            break;
        version.remove_prefix(dot + 1);
    }
    return numbers;
}

struct AddressParts {
    std::string scheme, host;
    bool credentials = false;
};

AddressParts partsOf(std::string_view address) {
    AddressParts parts;
    GUri* uri = g_uri_parse(std::string(address).c_str(), G_URI_FLAGS_NONE, nullptr);
    if (!uri)
        return parts;
    const auto lower = [](const char* text) {
        std::string out(text ? text : "");
        for (char& c : out)
            c = g_ascii_tolower(c);
        return out;
    };
    parts = {lower(g_uri_get_scheme(uri)), lower(g_uri_get_host(uri)),
             g_uri_get_userinfo(uri) != nullptr};
    g_uri_unref(uri);
    return parts;
}

} // namespace

namespace UpdateChecker {

bool isDownloadPage(std::string_view address, std::string_view updateOrigin,
                    std::string_view webOrigin) {
    if (!isLinkAddress(address))
        return false;
    const AddressParts link = partsOf(address);
    if (link.credentials)
        return false;
    if (const auto origin = Origins::originOf(address); origin == Origins::originOf(updateOrigin))
        return true;
    if (link.scheme != "https")
        return false;
    const std::string webHost = partsOf(webOrigin).host;
    // The web site's domain; an address of digits names one host only.
    const bool numeric = webHost.find_first_not_of("0123456789.") == std::string::npos ||
                         webHost.find(':') != std::string::npos;
    const std::string domain =
        !numeric && webHost.starts_with("www.") ? webHost.substr(4) : webHost;
    return !domain.empty() &&
           (link.host == domain || (!numeric && link.host.ends_with("." + domain)));
}

bool isNewer(std::string_view a, std::string_view b) {
    const auto first = versionNumbers(a);
    const auto second = versionNumbers(b);
    for (std::size_t i = 0; i < std::max(first.size(), second.size()); ++i) {
        const std::int64_t x = i < first.size() ? first[i] : 0;
        const std::int64_t y = i < second.size() ? second[i] : 0;
        if (x != y)
            return x > y;
    }
    return false;
}

UpdateAlert alertFor(bool transportFailed, std::string_view body, std::string_view current,
                     std::string_view updateOrigin, std::string_view webOrigin) {
    if (transportFailed)
        return noConnection();
    const auto document = nlohmann::json::parse(body, nullptr, false);
    // A bare value at the top ("null", a number) is not a JSON document to
    // the update host's clients either: treat it as a page that is not JSON.
    if (document.is_discarded() || !document.is_structured())
        return noConnection();
    const auto altText = document.is_object() ? document.find("alt_text") : document.end();
    if (altText == document.end() || !altText->is_string() ||
        trim(altText->get_ref<const std::string&>(), [](gunichar c) {
            return isBlank(c) || isLineBreak(c);
        }).empty())
        return {cannotCheck, "Please try again in a moment.", std::nullopt};

    // "version|address": bars at the very start are skipped, the address is
    // all after the next bar, and an empty piece counts as none.
    std::string_view text = altText->get_ref<const std::string&>();
    text.remove_prefix(std::min(text.find_first_not_of('|'), text.size()));
    const auto bar = text.find('|');
    const std::string_view versionPiece = text.substr(0, bar);
    const std::string_view addressPiece =
        bar == std::string_view::npos ? std::string_view() : text.substr(bar + 1);

    const std::string latest =
        versionPiece.empty() ? std::string(current) : std::string(trimBlanks(versionPiece));
    const std::string_view address = trimBlanks(addressPiece);
    // The host's text is shown cut short: up to 1 MiB of it may come.
    std::string shown = latest;
    if (g_utf8_strlen(shown.data(), gssize(shown.size())) > maxShownVersion)
        shown.resize(
            std::size_t(g_utf8_offset_to_pointer(shown.data(), maxShownVersion) - shown.data()));
    if (!isNewer(latest, current))
        return {"You’re up to date",
                "You’re running the latest version (" + std::string(current) + ").", std::nullopt};
    return {"A new version is available",
            "You have version " + std::string(current) + ". The latest is " + shown + ".",
            isDownloadPage(address, updateOrigin, webOrigin) ? std::optional<std::string>(address)
                                                             : std::nullopt};
}

} // namespace UpdateChecker
