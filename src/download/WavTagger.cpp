#include "download/WavTagger.hpp"

#include "BuildConfig.hpp"
#include "download/ContentDigest.hpp"
#include "download/FileNames.hpp"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <glib.h>
#include <glib/gstdio.h>
#include <optional>
#include <sys/stat.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/urllinkframe.h>
#include <taglib/wavfile.h>
#include <unistd.h>

namespace {

// A copy of the file beside it, under a temporary file's name, so that a
// leftover of a crash goes with the others.
std::optional<std::filesystem::path> copyBeside(const std::filesystem::path& file) {
    std::string name = (file.parent_path() / FileNames::partFileTemplate).string();
    const int fd = g_mkstemp_full(name.data(), O_WRONLY | O_CLOEXEC, 0666);
    if (fd < 0)
        return std::nullopt;
    close(fd);
    std::error_code error;
    std::filesystem::copy_file(file, name, std::filesystem::copy_options::overwrite_existing,
                               error);
    if (error) {
        g_unlink(name.c_str());
        return std::nullopt;
    }
    return name;
}

// TagLib names the ID3 chunk "ID3 ", which some readers (exiftool among
// them) pass over; "id3 " is read by all, TagLib included.
class TaggedWav : public TagLib::RIFF::WAV::File {
  public:
    using TagLib::RIFF::WAV::File::File;

    bool saveTags() {
        const TagLib::ByteVector id3 = ID3v2Tag()->render(TagLib::ID3v2::v4);
        // Writes the INFO list and drops the ID3 chunk the file had.
        if (!save(TagLib::RIFF::WAV::File::Info, StripOthers))
            return false;
        setChunkData("id3 ", id3);
        return true;
    }
};

TagLib::String text(const std::string& value) {
    return TagLib::String(WavTagger::tagText(value), TagLib::String::UTF8);
}

void write(TagLib::RIFF::WAV::File& wav, const TrackTags& tags) {
    TagLib::RIFF::Info::Tag* info = wav.InfoTag();
    info->setFieldText("INAM", text(tags.title));
    info->setFieldText("IPRD", text(tags.workspace));
    if (!tags.orvoURL.empty())
        info->setFieldText("ICMT", text(tags.orvoURL));
    info->setFieldText("ISFT", text(std::string("Orvo WAV Downloader ") + BuildConfig::version));

    TagLib::ID3v2::Tag* id3 = wav.ID3v2Tag();
    // Details the file came with give way to these.
    for (const char* id : {"TIT2", "TALB", "WOAF", "TXXX"})
        id3->removeFrames(id);
    const auto textFrame = [&](const char* id, const std::string& value) {
        auto* frame = new TagLib::ID3v2::TextIdentificationFrame(id, TagLib::String::UTF8);
        frame->setText(text(value));
        id3->addFrame(frame);
    };
    textFrame("TIT2", tags.title);
    textFrame("TALB", tags.workspace);
    if (!tags.orvoURL.empty()) {
        auto* link = new TagLib::ID3v2::UrlLinkFrame("WOAF");
        link->setUrl(text(tags.orvoURL));
        id3->addFrame(link);
    }
    auto* clip = new TagLib::ID3v2::UserTextIdentificationFrame(TagLib::String::UTF8);
    clip->setDescription("ORVO_CLIP_ID");
    clip->setText(text(tags.clipId));
    id3->addFrame(clip);
}

// TagLib does not say when the disk refused a write, so the details are
// read back.
bool readBack(const std::filesystem::path& file, const TrackTags& tags) {
    TagLib::RIFF::WAV::File wav(file.c_str(), false);
    if (!wav.isValid() || !wav.hasInfoTag() || !wav.hasID3v2Tag())
        return false;
    const auto& frames = wav.ID3v2Tag()->frameListMap();
    return wav.InfoTag()->fieldText("INAM") == text(tags.title) &&
           wav.ID3v2Tag()->title() == text(tags.title) && frames.contains("TXXX");
}

} // namespace

namespace WavTagger {

bool tag(const std::filesystem::path& file, const TrackTags& tags) {
    // TagLib may move the audio within the file (to take out a chunk before
    // it) or stop half way through a write when the disk is full: it works
    // on a copy, which replaces the file only when its audio is the same.
    const std::optional<std::string> audio = ContentDigest::audio(file);
    if (!audio)
        return false;
    const std::optional<std::filesystem::path> copy = copyBeside(file);
    if (!copy)
        return false;
    bool tagged = false;
    {
        TaggedWav wav(copy->c_str(), false);
        if (wav.isValid() && !wav.readOnly()) {
            write(wav, tags);
            tagged = wav.saveTags();
        }
    }
    tagged = tagged && readBack(*copy, tags) && ContentDigest::audio(*copy) == audio &&
             g_rename(copy->c_str(), file.c_str()) == 0;
    if (!tagged)
        g_unlink(copy->c_str());
    return tagged;
}

std::string tagText(std::string text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte < 0x20 || byte == 0x7f) {
            out += ' ';
        } else if (byte == 0xc2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9f) {
            out += ' '; // U+0080 to U+009F
            ++i;
        } else {
            out += text[i];
        }
    }
    return out;
}

} // namespace WavTagger
