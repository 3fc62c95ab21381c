#pragma once
#include <optional>
#include <string_view>
#include <webkit/webkit.h>

// How the one embedded page is drawn and how much memory WebKit may keep
// for it. The page is a sign-in form and a few script calls: it gains
// nothing from the GPU, and WebKit's GPU path is what fails on some
// desktops (GTK 4.8 cannot take WebKit's DMABuf buffers on Wayland without
// a GPU, and aborts). So by default the page is drawn on the CPU, which
// works on Wayland and X11 alike, with a GPU or without.
// ORVO_PAGE_DRAWING=gpu gives WebKit's own choice back.
//
// drawOnCpu() must run before GTK and WebKit start (it sets WebKit's
// environment); the rest before the first web view is made.
struct PageRendering {
    static constexpr const char* drawingVariable = "ORVO_PAGE_DRAWING";

    enum class Drawing { cpu, gpu };
    // The drawing asked for by ORVO_PAGE_DRAWING's value ("cpu", "gpu",
    // unset or empty), or nothing for a value it does not know.
    static std::optional<Drawing> drawingFor(const char* value);

    // Chooses how the page is drawn for this process, from the environment.
    // An unknown value is reported and the page drawn on the CPU.
    static Drawing chooseDrawing();
    static Drawing drawing();

    // Memory: the web process and the network process are asked to let go
    // of caches well before they grow large (megabytes, of the process's
    // resident memory).
    static constexpr unsigned webProcessLimit = 160;
    static constexpr unsigned networkProcessLimit = 64;
    static constexpr double releaseCachesAt = 0.5;   // of the limit
    static constexpr double releaseAllAt = 0.8;      // of the limit
    static constexpr double pressurePollSeconds = 5; // WebKit's default is 30

    // The web context every page of the app shares: a single-page cache
    // model and the web process's memory limit. Made once per process.
    static WebKitWebContext* webContext();
    // Sets the network process's memory limit; before the first session.
    static void limitNetworkProcess();
    // The page's drawing settings.
    static void apply(WebKitSettings* settings);

    // A page nobody sees (a run with no window, a minimised window) keeps
    // its scripts' timers: WebKit would let a 50 ms one wait a second.
    static constexpr const char* hiddenTimerThrottling = "HiddenPageDOMTimerThrottling";
    // Turns the feature off; false where this WebKit has no such feature.
    static bool keepTimersWhenHidden(WebKitSettings* settings);
};
