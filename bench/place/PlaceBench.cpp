// What announcing each file in the record before it takes its name costs a
// run: tracks written, synced and placed the way a run does it, against the
// same tracks placed the way it was done before (moved into place, then
// remembered and the journal synced). Then how long a start takes to fold a
// journal of 10,000 lines, against one of as many lines without
// announcements. Use a folder on a real disk (not tmpfs): the syncs are
// the point.
//
//   bench_place [folder] [tracks] [MiB per track]    (default . 10 32)
#include "download/PartFile.hpp"
#include "manager/SavedTracks.hpp"
#include "manager/WorkspaceFolder.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// A WAV file of the size, its audio different for each track.
std::string wavOf(std::size_t bytes, int track) {
    const auto le32 = [](std::uint32_t n) {
        return std::string{char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
    };
    const std::string format{1,    0,          2, 0, 0x44, char(0xac), 0,  0,
                             0x10, char(0xb1), 2, 0, 4,    0,          16, 0};
    std::string audio(bytes, '\0');
    for (std::size_t i = 0; i < audio.size(); i += 4096)
        audio[i] = char(track + int(i / 4096));
    const std::string body =
        "WAVEfmt " + le32(16) + format + "data" + le32(std::uint32_t(audio.size())) + audio;
    return "RIFF" + le32(std::uint32_t(body.size())) + body;
}

// Seconds to write, sync and place every track into an empty folder.
double placeAll(const std::filesystem::path& base, int tracks, std::size_t bytes, bool announced) {
    std::filesystem::remove_all(base);
    const std::filesystem::path destination = base / "out";
    std::filesystem::create_directories(destination / "Demos");
    const std::filesystem::path record = base / "data" / "saved-tracks.json";
    SavedTracks saved(record, destination);
    WorkspaceFolder folder(destination, "Demos", {}, saved);
    folder.prepare({});
    std::vector<std::string> bodies;
    for (int track = 0; track < tracks; ++track)
        bodies.push_back(wavOf(bytes, track));
    const auto start = Clock::now();
    for (int track = 0; track < tracks; ++track) {
        PartFile part(destination / "Demos");
        part.write(bodies[std::size_t(track)].data(), bodies[std::size_t(track)].size());
        part.finish();
        const std::string id = "clip-" + std::to_string(track);
        if (announced) {
            folder.place(part, WClip{id, "Track " + std::to_string(track), true});
        } else {
            const std::string name = "Track " + std::to_string(track) + ".wav";
            part.moveTo(name);
            const auto stamp = FileStamp::of(destination / "Demos" / name);
            saved.remember("Demos", id, {name, stamp->size, stamp->modified});
            saved.sync();
        }
    }
    saved.save();
    return secondsSince(start);
}

// Seconds for a start to fold a journal of the lines into the record.
double foldJournal(const std::filesystem::path& base, int lines, bool announced) {
    std::filesystem::remove_all(base);
    const std::filesystem::path destination = base / "out";
    std::filesystem::create_directories(destination / "Demos");
    const std::filesystem::path record = base / "data" / "saved-tracks.json";
    {
        SavedTracks saved(record, destination);
        // Each track announced, then remembered, as a run writes them; the
        // last announced only, as a crash leaves it, to be settled by its
        // file's digest.
        const int tracks = announced ? lines / 2 : lines;
        for (int track = 0; track < tracks; ++track) {
            const std::string id = "clip-" + std::to_string(track);
            const std::string name = "Track " + std::to_string(track) + ".wav";
            if (announced)
                saved.intend("Demos", id, name, 4, "0123456789abcdef");
            if (!announced || track + 1 < tracks)
                saved.remember("Demos", id, {name, 4, 1'700'000'000'000'000'000});
        }
        std::ofstream(destination / "Demos" / ("Track " + std::to_string(tracks - 1) + ".wav"))
            << wavOf(32 << 20, 0);
    }
    const auto start = Clock::now();
    SavedTracks::recover(record);
    return secondsSince(start);
}

template <typename Measure> double median(int rounds, Measure measure) {
    std::vector<double> times;
    for (int round = 0; round < rounds; ++round)
        times.push_back(measure());
    std::ranges::sort(times);
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    std::setvbuf(stdout, nullptr, _IOLBF, 0);
    const std::filesystem::path folder = argc > 1 ? argv[1] : ".";
    const int tracks = argc > 2 ? std::atoi(argv[2]) : 10;
    const std::size_t bytes = std::size_t(argc > 3 ? std::atof(argv[3]) : 32) * (1 << 20);
    const std::filesystem::path base = folder / ("bench-place-" + std::to_string(getpid()));

    const double before = median(3, [&] { return placeAll(base, tracks, bytes, false); });
    const double after = median(3, [&] { return placeAll(base, tracks, bytes, true); });
    std::printf("place %d tracks of %zu MiB: %.3f s announced, %.3f s as before, ratio %.3f "
                "(%.1f ms more per track)\n",
                tracks, bytes >> 20, after, before, after / before,
                (after - before) * 1000 / tracks);

    const double plain = median(5, [&] { return foldJournal(base, 10'000, false); });
    const double intents = median(5, [&] { return foldJournal(base, 10'000, true); });
    std::printf("fold a journal of 10,000 lines: %.1f ms with announcements (one settled by "
                "a 32 MiB file's digest), %.1f ms without, ratio %.2f\n",
                intents * 1000, plain * 1000, intents / plain);
    std::filesystem::remove_all(base);
}
