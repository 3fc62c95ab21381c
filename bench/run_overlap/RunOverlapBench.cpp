// What the two run options save on a real run: 12 tracks whose conversion
// takes 10 s each, fetched from the stand-in service over HTTP by the real
// manager and downloader. Prints the run time with "Prepare upcoming
// tracks" on against off (target at most 0.4), and that of a second run
// into the same folder with "Skip tracks saved before" on against the first
// (target at most 0.05). Takes about three minutes.
//
//   bench_run_overlap [tracks] [conversion seconds]    (default 12 10)
#include "async/GlibClock.hpp"
#include "download/SoupDownloader.hpp"
#include "manager/DownloadManager.hpp"
#include "manager/KeyFileSettings.hpp"
#include "support/Catalogue.hpp"
#include "support/DirectService.hpp"
#include "support/TempDir.hpp"

#include <chrono>
#include <cstdio>
#include <cstdlib>

namespace {

struct Options {
    bool prepare = false;
    bool skip = false;
};

struct Outcome {
    double seconds = 0;
    std::string summary;
    int conversions = 0; // requests the service received
};

// One run of the whole workspace into the destination, against a service
// that has converted nothing yet.
Outcome download(const SimTesting::CatalogueFile& catalogue, double conversionSeconds,
                 const std::filesystem::path& destination, const std::filesystem::path& data,
                 Options options) {
    StandInService service(
        {"--catalogue", catalogue.path(), "--convert-delay", std::to_string(conversionSeconds)});
    DirectService api(service.apiOrigin());
    GlibClock clock;
    KeyFileSettings settings(data / "settings.ini");
    SoupDownloader downloader(DownloadAddressPolicy(
        Origins{service.webOrigin(), service.apiOrigin(), service.updateOrigin()}));
    DownloadManager manager(api, clock, settings, downloader, data);
    manager.setDestFolder(destination);
    manager.setLikedOnly(false);
    manager.setPrepareUpcoming(options.prepare);
    manager.setSkipSaved(options.skip);
    runOnMainLoop(manager.scan(ScanScope::full()));
    manager.setSelected({"bench"});

    const auto start = std::chrono::steady_clock::now();
    runOnMainLoop(manager.start());
    Outcome outcome;
    outcome.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    outcome.summary = manager.current();
    outcome.conversions = service.counters()["routes"].value("convert_wav", 0);
    return outcome;
}

void report(const char* name, const Outcome& outcome) {
    std::printf("%-28s %8.3f s  %3d conversion requests  %s\n", name, outcome.seconds,
                outcome.conversions, outcome.summary.c_str());
}

} // namespace

int main(int argc, char** argv) {
    const int tracks = argc > 1 ? std::atoi(argv[1]) : 12;
    const double conversion = argc > 2 ? std::atof(argv[2]) : 10;
    if (tracks < 1 || conversion < 0) {
        std::fprintf(stderr, "usage: bench_run_overlap [tracks] [conversion seconds]\n");
        return 2;
    }
    std::vector<nlohmann::json> clips;
    for (int i = 1; i <= tracks; ++i)
        clips.push_back(SimTesting::clip("clip" + std::to_string(i),
                                         {{"project", {{"id", "bench"}, {"name", "Bench"}}}}));
    const SimTesting::CatalogueFile catalogue(clips);
    const TempDir folder;
    const auto data = folder / "data";
    for (const char* name : {"off", "on"})
        std::filesystem::create_directories(folder / name);

    std::printf("%d tracks, %g s conversion each\n", tracks, conversion);
    const Outcome off = download(catalogue, conversion, folder / "off", data, {});
    report("prepare upcoming off", off);
    const Outcome on = download(catalogue, conversion, folder / "on", data, {.prepare = true});
    report("prepare upcoming on", on);
    const Outcome again = download(catalogue, conversion, folder / "off", data, {.skip = true});
    report("second run, skip saved on", again);

    std::printf("prepare on / off:        %.3f (target <= 0.4)\n", on.seconds / off.seconds);
    std::printf("second run / first run:  %.5f (target <= 0.05)\n", again.seconds / off.seconds);
    return 0;
}
