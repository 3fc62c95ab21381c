#include "download/WavTagger.hpp"

#include "BuildConfig.hpp"

#include <array>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/textidentificationframe.h>
#include <taglib/urllinkframe.h>
#include <taglib/wavfile.h>
#include <unistd.h>

namespace {

using Head = std::array<char, 12>;

// The file's first bytes and length, to tell a plain RIFF WAVE file from an
// RF64 one (which TagLib would take for RIFF and damage) and to put the file
// back as it was when writing the details fails.
struct Original {
    Head head{};
    off_t size = 0;
};

std::optional<Original> readOriginal(const std::filesystem::path& file) {
    const int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    Original original;
    struct stat status {};
    const bool read =
        fstat(fd, &status) == 0 &&
        pread(fd, original.head.data(), original.head.size(), 0) == ssize_t(original.head.size());
    close(fd);
    if (!read || std::memcmp(original.head.data(), "RIFF", 4) != 0 ||
        std::memcmp(original.head.data() + 8, "WAVE", 4) != 0)
        return std::nullopt;
    original.size = status.st_size;
    return original;
}

// TagLib adds the details after the audio, so cutting the file back to its
// length and writing its header again undoes a write that failed half way.
void restore(const std::filesystem::path& file, const Original& original) {
    const int fd = open(file.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return;
    if (ftruncate(fd, original.size) == 0)
        (void)!pwrite(fd, original.head.data(), original.head.size(), 0);
    close(fd);
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
    const std::optional<Original> original = readOriginal(file);
    if (!original)
        return false;
    {
        TaggedWav wav(file.c_str(), false);
        if (!wav.isValid() || wav.readOnly())
            return false;
        write(wav, tags);
        if (!wav.saveTags()) {
            restore(file, *original);
            return false;
        }
    }
    if (readBack(file, tags))
        return true;
    restore(file, *original);
    return false;
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
