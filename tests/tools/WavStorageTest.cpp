// The stand-in's WAV storage: real PCM files streamed with an exact length,
// and the download fault options.
#include "SimTesting.hpp"

#include <cstdint>
#include <cstring>
#include <gtest/gtest.h>

using namespace SimTesting;

namespace {

std::uint32_t le32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i)
        value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
    return value;
}

std::uint16_t le16(const std::string& bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

std::uint64_t le64(const std::string& bytes, std::size_t at) {
    return le32(bytes, at) | (static_cast<std::uint64_t>(le32(bytes, at + 4)) << 32);
}

// Converts each clip at once and returns the service's WAV address for it.
std::string readyWav(const StandInService& service, const std::string& id) {
    convert(service, id);
    return wavURL(service, id);
}

} // namespace

TEST(WavStorageTest, wavIsAPcmFileWhoseHeaderMatchesItsLength) {
    const CatalogueFile catalogue({clip("a", {{"convert_delay", 0}, {"wav_seconds", 0.5}})});
    StandInService service({"--catalogue", catalogue.path()});
    const auto address = readyWav(service, "a");
    ASSERT_FALSE(address.empty());

    const auto transfer = Http::download(address, 4096);
    ASSERT_FALSE(transfer.error) << *transfer.error;
    EXPECT_EQ(transfer.status, 200u);
    EXPECT_EQ(transfer.contentType, "audio/wav");
    const std::uint32_t data = 22050 * 4; // half a second of 16-bit stereo
    EXPECT_EQ(transfer.contentLength, 44 + data);
    EXPECT_EQ(transfer.received, 44u + data);

    const auto& h = transfer.head;
    EXPECT_EQ(h.substr(0, 4), "RIFF");
    EXPECT_EQ(le32(h, 4), 36 + data);
    EXPECT_EQ(h.substr(8, 8), "WAVEfmt ");
    EXPECT_EQ(le32(h, 16), 16u);
    EXPECT_EQ(le16(h, 20), 1u); // PCM
    EXPECT_EQ(le16(h, 22), 2u);
    EXPECT_EQ(le32(h, 24), 44100u);
    EXPECT_EQ(le32(h, 28), 44100u * 4);
    EXPECT_EQ(le16(h, 32), 4u);
    EXPECT_EQ(le16(h, 34), 16u);
    EXPECT_EQ(h.substr(36, 4), "data");
    EXPECT_EQ(le32(h, 40), data);
    // A tone, not silence.
    EXPECT_NE(h.find_first_not_of('\0', 44 + 8), std::string::npos);
}

TEST(WavStorageTest, fileLargerThanRiffCanHoldGetsAnRf64HeaderAndItsExactLength) {
    // 30000 s of audio is about 5.3 GB: only its start is read.
    const CatalogueFile catalogue({clip("long", {{"convert_delay", 0}, {"wav_seconds", 30000}})});
    StandInService service({"--catalogue", catalogue.path()});
    const auto address = readyWav(service, "long");
    const auto transfer = Http::download(address, 80, 1 << 20);
    EXPECT_EQ(transfer.status, 200u);
    const std::uint64_t data = 30000ULL * 44100 * 4;
    EXPECT_EQ(transfer.contentLength, static_cast<std::int64_t>(80 + data));

    const auto& h = transfer.head;
    ASSERT_EQ(h.size(), 80u);
    EXPECT_EQ(h.substr(0, 4), "RF64");
    EXPECT_EQ(le32(h, 4), 0xffffffffu);
    EXPECT_EQ(h.substr(8, 8), "WAVEds64");
    EXPECT_EQ(le64(h, 20), 72 + data);
    EXPECT_EQ(le64(h, 28), data);
    EXPECT_EQ(le64(h, 36), data / 4);
    EXPECT_EQ(h.substr(48, 4), "fmt ");
    EXPECT_EQ(h.substr(72, 4), "data");
    EXPECT_EQ(le32(h, 76), 0xffffffffu);

    // Dropping the transfer half-way leaves the service serving.
    EXPECT_EQ(feed(service, {{"page", 0}}).status, 200u);
}

TEST(WavStorageTest, wavFaultsAnswerAsAskedForTheirClipsOnly) {
    std::vector<nlohmann::json> clips;
    for (const auto* id : {"missing", "cut", "page", "stuck", "fine"})
        clips.push_back(clip(id, {{"convert_delay", 0}, {"wav_seconds", 2}}));
    const CatalogueFile catalogue(clips);
    StandInService service({"--catalogue", catalogue.path(), "--wav-fault", "404@missing",
                            "--wav-fault", "short@cut", "--wav-fault", "not-wav@page",
                            "--wav-fault", "stall@stuck"});
    const std::int64_t full = 44 + 2 * 44100 * 4;

    const auto missing = Http::download(readyWav(service, "missing"));
    EXPECT_EQ(missing.status, 404u);

    const auto cut = Http::download(readyWav(service, "cut"));
    EXPECT_EQ(cut.status, 200u);
    EXPECT_EQ(cut.contentLength, full);
    // The connection closes early. libsoup 3.2 reports that as a plain end
    // of the body, so only a downloader that compares lengths notices.
    EXPECT_LT(cut.received, static_cast<std::uint64_t>(full));
    EXPECT_GT(cut.received, 44u);
    EXPECT_EQ(cut.head.substr(0, 4), "RIFF");

    const auto page = Http::download(readyWav(service, "page"));
    EXPECT_EQ(page.status, 200u);
    EXPECT_EQ(page.contentType, "text/html");
    EXPECT_NE(page.head.substr(0, 4), "RIFF");

    // A stalled answer sends its headers and a little, then nothing; the
    // service keeps answering everyone else meanwhile.
    const auto stuckAddress = readyWav(service, "stuck");
    const auto stuck = Http::download(stuckAddress, 256, std::nullopt, 1);
    EXPECT_EQ(stuck.status, 200u);
    EXPECT_EQ(stuck.contentLength, full);
    EXPECT_LT(stuck.received, static_cast<std::uint64_t>(full));
    EXPECT_TRUE(stuck.error);
    EXPECT_EQ(feed(service, {{"page", 0}}).status, 200u);

    const auto fine = Http::download(readyWav(service, "fine"));
    EXPECT_FALSE(fine.error);
    EXPECT_EQ(fine.received, static_cast<std::uint64_t>(full));
}

TEST(WavStorageTest, countedWavFaultFailsOnlyTheFirstRequests) {
    const CatalogueFile catalogue({clip("a", {{"convert_delay", 0}, {"wav_seconds", 1}}),
                                   clip("b", {{"convert_delay", 0}, {"wav_seconds", 1}})});
    StandInService service({"--catalogue", catalogue.path(), "--wav-fault", "404@all#2"});
    const auto a = readyWav(service, "a");
    const auto b = readyWav(service, "b");
    EXPECT_EQ(Http::download(a).status, 404u);
    EXPECT_EQ(Http::download(b).status, 404u);
    EXPECT_EQ(Http::download(a).status, 404u);
    EXPECT_EQ(Http::download(a).status, 200u);
    EXPECT_EQ(service.counters()["clips"]["a"]["wav"], 3);
}
