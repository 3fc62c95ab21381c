#include "download/WavTagger.hpp"

#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>

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
