#pragma once
#include <filesystem>
#include <string>

// What a saved WAV file says about itself, for music players, audio editors
// and file managers that show more than the file name.
struct TrackTags {
    std::string title;
    std::string workspace;
    std::string clipId;
    std::string orvoURL; // empty when the track has no valid address
};

namespace WavTagger {

// Writes the details into the WAV file at the path as a RIFF INFO list and
// an ID3v2.4 chunk, replacing any the file had. The bytes of the data chunk
// stay as they were: the details are written into a copy beside the file,
// which replaces it once its audio is checked to be the same. False, with
// the file unchanged, when it is not a plain RIFF WAVE file (an RF64 file
// over 4 GiB, a body that is no WAV) or the copy cannot be written or
// checked.
bool tag(const std::filesystem::path& file, const TrackTags& tags);

// The text as a tag holds it: control characters, which would cut a field
// short or break a line in a player, become spaces.
std::string tagText(std::string text);

} // namespace WavTagger
