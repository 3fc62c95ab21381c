#pragma once
#include <cstddef>

// The most a page script's answer may hold: the page could otherwise answer
// with enough to take all the app's memory. An answer over a limit fails as
// a malformed one would; titles and workspace names are cut instead.
namespace AnswerLimits {
inline constexpr std::size_t resultBytes = 16 * 1024 * 1024; // an answer's JSON text
inline constexpr std::size_t tracksPerPage = 10'000;
inline constexpr std::size_t textCharacters = 4096; // titles and workspace names
inline constexpr std::size_t addressBytes = 8 * 1024;
inline constexpr std::size_t idCharacters = 128;
} // namespace AnswerLimits
