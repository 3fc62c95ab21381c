#include "download/WavTagger.hpp"

#include "support/TempDir.hpp"

#include <csignal>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

// What the tagger cannot take is left exactly as it came.
TEST(WavTaggerTest, filesThatAreNoPlainWavAreLeftAlone) {
    const TempDir temp;
    std::string fmt("fmt \x10\0\0\0\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 24);
    const struct {
        const char* what;
        std::string body;
    } cases[] = {
        {"RF64, over 4 GiB", std::string("RF64\xff\xff\xff\xffWAVEds64", 16) +
                                 std::string(28, '\0') + fmt + "data\xff\xff\xff\xff" +
                                 std::string(64, '\x01')},
        {"a web page", "<!doctype html><title>Not found</title>"},
        {"a WAVE header and no chunks", "RIFF0000WAVEhttps://files.example/a.wav"},
        {"too short to say", "RIFF"},
    };
    for (const auto& c : cases) {
        const auto file = temp / "part";
        std::ofstream(file, std::ios::binary | std::ios::trunc) << c.body;
        EXPECT_FALSE(WavTagger::tag(file, {"Title", "Demos", "c1", "https://orvo.example/song/c1"}))
            << c.what;
        EXPECT_EQ(readFile(file), c.body) << c.what;
    }
}

namespace {

std::string chunk(const std::string& id, const std::string& body) {
    const auto size = std::uint32_t(body.size());
    std::string bytes =
        id + std::string{char(size), char(size >> 8), char(size >> 16), char(size >> 24)} + body;
    return body.size() % 2 ? bytes + '\0' : bytes;
}

std::string wav(const std::string& chunks) {
    const auto size = std::uint32_t(chunks.size() + 4);
    return "RIFF" + std::string{char(size), char(size >> 8), char(size >> 16), char(size >> 24)} +
           "WAVE" + chunks;
}

// The data chunk's bytes, as a reader finds them.
std::string audioOf(const std::string& file) {
    for (std::size_t at = 12; at + 8 <= file.size();) {
        std::uint32_t size = 0;
        std::memcpy(&size, file.data() + at + 4, 4);
        if (file.compare(at, 4, "data") == 0)
            return file.substr(at + 8, size);
        at += 8 + size + (size & 1);
    }
    return {};
}

} // namespace

// Tagging changes the details and nothing of the sound: a file whose chunks
// TagLib rearranges, and one whose tags the disk takes only half of.
TEST(WavTaggerTest, theAudioIsNeverChanged) {
    const TempDir temp;
    const std::string fmt =
        chunk("fmt ", std::string("\x01\0\x02\0\x44\xac\0\0\x10\xb1\x02\0\x04\0\x10\0", 16));
    std::string audio;
    for (int i = 0; i < 50'000; ++i)
        audio += char(i * 7 % 251);
    const TrackTags tags{"été café 🎵", "Demos", "c1", "https://orvo.example/song/c1"};
    const auto file = temp / "part";

    // Details before the audio, which TagLib takes out by moving the audio.
    const std::string listFirst =
        wav(fmt + chunk("LIST", "INFO" + chunk("INAM", "Old title")) + chunk("data", audio));
    std::ofstream(file, std::ios::binary) << listFirst;
    ASSERT_TRUE(WavTagger::tag(file, tags));
    EXPECT_EQ(audioOf(readFile(file)), audio);
    EXPECT_NE(readFile(file).find("\xc3\xa9t\xc3\xa9 caf\xc3\xa9"), std::string::npos);

    // The disk refuses the file's growth part of the way through.
    for (const std::string& body : {wav(fmt + chunk("data", audio)), listFirst}) {
        std::ofstream(file, std::ios::binary | std::ios::trunc) << body;
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            signal(SIGXFSZ, SIG_IGN);
            const rlimit limit{body.size() + 64, body.size() + 64};
            setrlimit(RLIMIT_FSIZE, &limit);
            _exit(WavTagger::tag(file, tags) ? 1 : 0);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "reported as tagged";
        EXPECT_EQ(readFile(file), body);
        EXPECT_EQ(namesIn(temp.path()), std::vector<std::string>{"part"});
    }
}
