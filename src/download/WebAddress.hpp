#pragma once
#include <string_view>

// Only http and https addresses with a host are fetched: anything else (a
// file: address, say) would read from places the service has no business
// naming.
bool isWebAddress(std::string_view url);

// An address the user's browser may be given: a web address made only of the
// characters an address may hold (see onlyUriCharacters).
bool isLinkAddress(std::string_view url);

// The first bytes of a WAV file: "RIFF" (or "RF64" for files over 4 GiB),
// a size, then "WAVE".
namespace WavHeader {
inline constexpr std::size_t size = 12;
inline bool matches(std::string_view head) {
    return head.size() >= size && (head.substr(0, 4) == "RIFF" || head.substr(0, 4) == "RF64") &&
           head.substr(8, 4) == "WAVE";
}
} // namespace WavHeader
