#pragma once
#include "Options.hpp"

#include <cstdint>
#include <libsoup/soup.h>
#include <optional>
#include <string>

// Generated WAV files: 16-bit stereo PCM at 44.1 kHz holding a soft two-note
// tone, produced piece by piece while it is sent, so a file of gigabytes
// never sits in memory.
namespace Wav {

inline constexpr std::uint32_t sampleRate = 44100;
inline constexpr std::uint16_t channels = 2;
inline constexpr std::uint16_t bytesPerFrame = 4;

// Bytes of sample data for this many seconds (whole frames).
std::uint64_t dataBytes(double seconds);

// The header for this much sample data: RIFF, or RF64 once the sizes no
// longer fit the 32-bit fields.
std::string header(std::uint64_t dataBytes);

// Answers the message with the file, or with the given fault.
void respond(SoupServerMessage* message, std::uint64_t dataBytes, std::optional<WavFault> fault);

} // namespace Wav
