// Saving and loading library.json for a large library (100,000 clips in
// 2,000 workspaces) the way the manager does it, and the record of saved
// tracks for as many files, against writing and reading the same bytes raw.
// Prints medians and their ratios.
#include "manager/PrivateFile.hpp"
#include "manager/SavedTracks.hpp"
#include "model/LibrarySnapshot.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <glib.h>
#include <random>
#include <unistd.h>
#include <vector>

namespace {

constexpr int workspaceCount = 2000;
constexpr int clipsPerWorkspace = 50;
constexpr int rounds = 11;

std::string uuid(std::mt19937_64& random) {
    static constexpr char hex[] = "0123456789abcdef";
    std::string id = "xxxxxxxx-xxxx-4xxx-xxxx-xxxxxxxxxxxx";
    for (char& c : id)
        if (c == 'x')
            c = hex[random() % 16];
    return id;
}

LibrarySnapshot makeLibrary() {
    std::mt19937_64 random(42);
    const char* words[] = {"Night",  "Drive", "Echo",    "Blue",  "Süden", "Rain", "Neon",
                           "Velvet", "Café",  "Horizon", "Glass", "Ember", "夜",   "Tide"};
    auto title = [&] {
        std::string text;
        for (int i = 0, n = 1 + int(random() % 4); i < n; ++i)
            text += std::string(i ? " " : "") + words[random() % std::size(words)];
        return text;
    };
    LibrarySnapshot library;
    library.scope = "full";
    library.scannedAt =
        std::chrono::time_point_cast<Date::duration>(std::chrono::system_clock::now());
    for (int w = 0; w < workspaceCount; ++w) {
        Workspace workspace{uuid(random), "Workspace " + title(), {}};
        for (int c = 0; c < clipsPerWorkspace; ++c)
            workspace.clips.push_back(WClip{uuid(random), title(), random() % 3 == 0});
        library.workspaces.push_back(std::move(workspace));
    }
    return library;
}

double medianMilliseconds(const std::function<void()>& action) {
    std::vector<double> times;
    for (int i = 0; i < rounds; ++i) {
        const auto start = std::chrono::steady_clock::now();
        action();
        times.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The record of saved tracks after every clip of the library was saved
// once: loaded at the start of a run, written at its end.
bool savedTracks(const LibrarySnapshot& library, const std::filesystem::path& folder) {
    const auto record = folder / "OrvoWavDownloader" / "saved-tracks.json";
    const auto plain = folder / "plain.json";
    const std::filesystem::path music = "/media/stick/Music";
    std::size_t entries = 0;
    {
        SavedTracks saved(record, music);
        for (const Workspace& workspace : library.workspaces)
            for (const WClip& clip : workspace.clips) {
                saved.remember(workspace.name, clip.id,
                               {clip.title + " " + clip.id + ".wav", 52'000'000,
                                1'765'000'000'123'456'789});
                ++entries;
            }
        saved.save();
    }
    const std::string bytes = *PrivateFile::read(record);
    std::size_t loaded = 0;
    const double load = medianMilliseconds([&] {
        SavedTracks saved(record, music);
        loaded = 0;
        for (const auto& [name, clips] : saved.folders())
            loaded += clips.size();
    });
    // A run's save: one entry changed, the whole record written.
    bool ok = true;
    SavedTracks saved(record, music);
    const Workspace& first = library.workspaces[0];
    int round = 0;
    const double save = medianMilliseconds([&] {
        saved.remember(first.name, first.clips[0].id,
                       {"Again " + std::to_string(round++) + ".wav", 1, 1});
        saved.save();
    });
    const double rawWrite = medianMilliseconds([&] {
        std::ofstream out(plain, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    });
    const double rawRead = medianMilliseconds([&] {
        std::ifstream in(plain, std::ios::binary);
        std::string text(bytes.size(), '\0');
        in.read(text.data(), std::streamsize(text.size()));
    });
    std::filesystem::remove_all(folder);
    if (!ok || loaded != entries) {
        std::fprintf(stderr, "saved-tracks.json did not round-trip\n");
        return false;
    }
    // What a run of one workspace costs: the load at its start, and a save
    // after the workspace.
    const double run = load + save;
    std::printf("saved-tracks.json: %zu files, %.1f MiB (median of %d)\n", loaded,
                double(bytes.size()) / (1 << 20), rounds);
    std::printf("  load (read + decode):         %7.1f ms   raw read:  %6.1f ms   ratio %.1f\n",
                load, rawRead, load / rawRead);
    std::printf("  save (encode + atomic write): %7.1f ms   raw write: %6.1f ms   ratio %.1f\n",
                save, rawWrite, save / rawWrite);
    std::printf("  target: load and save together well under a second (500 ms): %.0f ms, %s\n",
                run, run < 500 ? "met" : "NOT met");
    return true;
}

} // namespace

int main() {
    const std::filesystem::path folder =
        std::filesystem::path(g_get_tmp_dir()) / ("orvo-bench-" + std::to_string(getpid()));
    const auto ours = folder / "OrvoWavDownloader" / "library.json";
    const auto plain = folder / "plain.json";
    std::filesystem::create_directories(folder);

    const LibrarySnapshot library = makeLibrary();
    const std::string bytes = library.encode();

    bool ok = true;
    const double save =
        medianMilliseconds([&] { ok &= PrivateFile::write(ours, library.encode()); });
    const double rawWrite = medianMilliseconds([&] {
        std::ofstream out(plain, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), std::streamsize(bytes.size()));
    });
    std::size_t clips = 0;
    const double load = medianMilliseconds([&] {
        auto loaded = LibrarySnapshot::decode(*PrivateFile::read(ours));
        clips = 0;
        for (const auto& workspace : loaded.workspaces)
            clips += workspace.clips.size();
    });
    const double rawRead = medianMilliseconds([&] {
        std::ifstream in(plain, std::ios::binary);
        std::string text(bytes.size(), '\0');
        in.read(text.data(), std::streamsize(text.size()));
    });
    std::filesystem::remove_all(folder);
    if (!ok || clips != std::size_t(workspaceCount) * clipsPerWorkspace) {
        std::fprintf(stderr, "library.json did not round-trip\n");
        return 1;
    }

    std::printf("library.json: %d workspaces, %zu clips, %.1f MiB (median of %d)\n", workspaceCount,
                clips, double(bytes.size()) / (1 << 20), rounds);
    std::printf("  save (encode + atomic write): %7.1f ms   raw write: %6.1f ms   ratio %.1f\n",
                save, rawWrite, save / rawWrite);
    std::printf("  load (read + decode):         %7.1f ms   raw read:  %6.1f ms   ratio %.1f\n",
                load, rawRead, load / rawRead);
    std::printf("  target: save and load each under 150 ms: %s\n",
                save < 150 && load < 150 ? "met" : "NOT met");
    return savedTracks(library, folder) ? 0 : 1;
}
