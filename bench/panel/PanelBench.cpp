// How the control panel scales with the library: the time from building
// the panel to its first frame, and the time of one progress update during
// a run (overall, current, fraction, one log line), with 10,000 workspaces
// shown against 10. A progress update should cost the same whatever the
// library size.
//
// And with the failures: a run in which every track fails, ending with 10
// and with 10,000 failures. The panel's cost per failure (its change
// handlers and the main-loop turns that follow) should be the same at both
// sizes, and no turn of the main loop should take over 100 ms.
#include "manager/Fakes.hpp"
#include "ui/ControlPanel.hpp"
#include "ui/FailuresCard.hpp"
#include "ui/LogCard.hpp"
#include "ui/Theme.hpp"

#include <algorithm>
#include <chrono>
#include <coroutine>
#include <cstdio>
#include <cstdlib>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/window.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int tracksPerRun = 400;
constexpr int rounds = 5;

// Saves empty files: the bench times the panel, not the disk.
class NullDownloader final : public FileDownloader {
  public:
    Task<PartFile> download(std::string, std::filesystem::path folder, CancelSignal&) override {
        PartFile part(folder);
        part.finish();
        co_return std::move(part);
    }
};

std::vector<Workspace> library(int count) {
    std::vector<Workspace> workspaces;
    for (int w = 0; w < count; ++w) {
        Workspace workspace{"w" + std::to_string(w), "Workspace " + std::to_string(w), {}};
        const int clips = w == 0 ? tracksPerRun : 1 + w % 7;
        for (int c = 0; c < clips; ++c)
            workspace.clips.push_back(
                WClip{workspace.id + "-" + std::to_string(c), "Track " + std::to_string(c), true});
        workspaces.push_back(std::move(workspace));
    }
    return workspaces;
}

void drain() {
    while (g_main_context_iteration(nullptr, FALSE)) {
    }
}

double milliseconds(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Result {
    double showMs;
    double updateUs;
};

// A manager that has scanned the page and is ready to download workspace
// "w0" into temp/out.
struct Rig {
    Rig(const FeedPage& page, FileDownloader& downloader, const std::filesystem::path& temp)
        : service(clock), manager(service, clock, settings, downloader, temp / "data") {
        service.pages.push_back(page);
        clock.run(manager.scan(ScanScope::full()));
        manager.setSelected({"w0"});
        std::filesystem::create_directories(temp / "out");
        manager.setDestFolder(temp / "out");
    }
    VirtualClock clock;
    FakeService service;
    MemorySettings settings;
    DownloadManager manager;
};

Result measure(int workspaceCount, const std::filesystem::path& temp) {
    FeedPage page;
    for (const Workspace& workspace : library(workspaceCount))
        for (const WClip& clip : workspace.clips)
            page.clips.push_back(
                RawClip{clip.id, clip.title, clip.liked, workspace.id, workspace.name});
    NullDownloader downloader;
    Rig rig(page, downloader, temp);
    auto& [clock, service, settings, manager] = rig;

    Gtk::Window window;
    window.set_default_size(860, 760);
    const auto start = Clock::now();
    auto* panel = Gtk::make_managed<ControlPanel>(manager);
    window.set_child(*panel);
    window.present();
    gtk_test_widget_wait_for_draw(GTK_WIDGET(window.gobj()));
    const double showMs = milliseconds(Clock::now() - start);

    std::size_t updates = 0;
    auto counting = manager.signalChanged().connect([&](DownloadManager::Property property) {
        using P = DownloadManager::Property;
        updates += property == P::overall || property == P::current || property == P::fraction ||
                   property == P::log;
    });
    const auto runStart = Clock::now();
    clock.run(manager.start());
    gtk_test_widget_wait_for_draw(GTK_WIDGET(window.gobj()));
    const double runMs = milliseconds(Clock::now() - runStart);
    counting.disconnect();
    window.unset_child();
    drain();
    // Four properties make one progress update.
    return {showMs, runMs * 1000.0 / (double(updates) / 4.0)};
}

// Fails every transfer at once.
class FailingDownloader final : public FileDownloader {
  public:
    Task<PartFile> download(std::string, std::filesystem::path, CancelSignal&) override {
        co_await std::suspend_never{}; // a coroutine that fails at once
        throw DownloadError("bench failure");
    }
};

struct FailureResult {
    double perFailureUs;
    double longestTurnMs;
};

FailureResult measureFailures(int failures, const std::filesystem::path& temp) {
    FeedPage page;
    for (int c = 0; c < failures; ++c)
        page.clips.push_back(RawClip{"t" + std::to_string(c), "Track " + std::to_string(c), true,
                                     "w0", "Workspace"});
    FailingDownloader downloader;
    Rig rig(page, downloader, temp);
    auto& [clock, service, settings, manager] = rig;

    // The panel's handlers run between these two of the bench's own.
    Clock::time_point before;
    double handlers = 0, longest = 0;
    auto start = manager.signalChanged().connect([&](DownloadManager::Property) {
        before = Clock::now();
    });
    Gtk::Window window;
    window.set_default_size(860, 760);
    auto* panel = Gtk::make_managed<ControlPanel>(manager);
    window.set_child(*panel);
    window.present();
    gtk_test_widget_wait_for_draw(GTK_WIDGET(window.gobj()));
    auto end = manager.signalChanged().connect([&](DownloadManager::Property) {
        const double spent = milliseconds(Clock::now() - before);
        handlers += spent;
        longest = std::max(longest, spent);
    });
    clock.run(manager.start());
    // Then the main loop shows what the run left, in turns and frames,
    // until both lists hold all of it.
    const auto shown = Clock::now();
    const auto complete = [&] {
        auto* rows = G_LIST_MODEL(panel->failuresCard().list().get_model()->gobj());
        return g_list_model_get_n_items(rows) == manager.failures().size() &&
               panel->logCard().lineCount() == manager.log().size();
    };
    for (;;) {
        const auto turn = Clock::now();
        if (g_main_context_iteration(nullptr, FALSE))
            longest = std::max(longest, milliseconds(Clock::now() - turn));
        else if (complete())
            break;
        else
            g_usleep(500); // until the next frame is due
    }
    gtk_test_widget_wait_for_draw(GTK_WIDGET(window.gobj()));
    const double last = milliseconds(Clock::now() - shown);
    start.disconnect();
    end.disconnect();
    if (manager.failures().size() != std::size_t(failures))
        std::fprintf(stderr, "expected %d failures, got %zu\n", failures,
                     manager.failures().size());
    window.unset_child();
    drain();
    return {(handlers + last) * 1000.0 / failures, longest};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv) {
    if (!std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY")) {
        execl(WITH_DISPLAY_PATH, WITH_DISPLAY_PATH, argv[0], nullptr);
        std::perror("with-display");
        return 1;
    }
    (void)argc;
    gtk_init();
    Gtk::init_gtkmm_internals();
    Theme::install(*Gdk::Display::get_default());
    char pattern[] = "/tmp/bench-panel-XXXXXX";
    const std::filesystem::path temp = mkdtemp(pattern);

    std::vector<double> showSmall, showLarge, updateSmall, updateLarge;
    std::vector<double> failSmall, failLarge, turnSmall, turnLarge;
    for (int round = 0; round < rounds; ++round) {
        const FailureResult few = measureFailures(10, temp);
        const FailureResult many = measureFailures(10000, temp);
        failSmall.push_back(few.perFailureUs);
        failLarge.push_back(many.perFailureUs);
        turnSmall.push_back(few.longestTurnMs);
        turnLarge.push_back(many.longestTurnMs);
        const Result small = measure(10, temp);
        const Result large = measure(10000, temp);
        showSmall.push_back(small.showMs);
        showLarge.push_back(large.showMs);
        updateSmall.push_back(small.updateUs);
        updateLarge.push_back(large.updateUs);
    }
    std::filesystem::remove_all(temp);
    std::printf("show panel, 10 workspaces:      %8.1f ms\n", median(showSmall));
    std::printf("show panel, 10,000 workspaces:  %8.1f ms   (target under 100 ms)\n",
                median(showLarge));
    std::printf("progress update, 10 workspaces:     %8.1f us\n", median(updateSmall));
    std::printf("progress update, 10,000 workspaces: %8.1f us\n", median(updateLarge));
    std::printf("ratio 10,000 / 10: %.2f   (target at most 1.2)\n",
                median(updateLarge) / median(updateSmall));
    std::printf("failures, cost per failure, 10:      %8.1f us   (longest turn %.1f ms)\n",
                median(failSmall), median(turnSmall));
    std::printf("failures, cost per failure, 10,000:  %8.1f us   (longest turn %.1f ms, target "
                "under 100 ms)\n",
                median(failLarge), median(turnLarge));
    std::printf("ratio 10,000 / 10: %.2f   (target at most 1.2)\n",
                median(failLarge) / median(failSmall));
    return 0;
}
