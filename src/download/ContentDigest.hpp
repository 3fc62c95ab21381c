#pragma once
#include <filesystem>
#include <optional>
#include <string>

// What tells one saved file from another after a crash, when its time
// cannot be trusted: a SHA-256 digest of its content.
namespace ContentDigest {

// The digest of the audio: the bytes of a plain RIFF WAVE file's data
// chunk, wherever it is in the file, so that track details written around
// it leave it unchanged. None when the file has no whole data chunk.
std::optional<std::string> audio(const std::filesystem::path& file);

// The audio's digest, or for a file that is no plain WAV (an RF64 file, a
// body of some other kind) that of all its bytes. None when it cannot be
// read.
std::optional<std::string> of(const std::filesystem::path& file);

} // namespace ContentDigest
