#include "app/OrvoWavApp.hpp"
#include "app/PrivateCompositor.hpp"
#include "app/WindowRenderer.hpp"
#include "model/Translation.hpp"
#include "session/PageRendering.hpp"
#include "ui/Theme.hpp"

#include <cstdlib>
#include <gdk/gdk.h>
#include <gio/gio.h>
#include <iostream>
#include <memory>
#include <string>

namespace {

// Without a session bus (cron, a bare SSH session) there is nobody to hand
// a command line to, and the app runs on its own.
bool sessionBusReachable() {
    GError* error = nullptr;
    GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error);
    if (!bus) {
        g_error_free(error);
        return false;
    }
    g_object_unref(bus);
    return true;
}

} // namespace

int main(int argc, char** argv) {
    Translation::setUp();
    std::optional<DownloadNewOptions> downloadNew;
    if (const auto status = OrvoWavApp::answerCommandLine(argc, argv, &downloadNew))
        return *status;
    // A run with nobody watching needs a display all the same (the page is
    // a web view in a window never shown): when none can be reached, a
    // private one. Decided before GTK, which cannot be asked twice.
    std::unique_ptr<PrivateCompositor> compositor;
    bool unique = true;
    if (downloadNew) {
        if (!PrivateCompositor::displayReachable()) {
            std::string why;
            compositor = PrivateCompositor::start(why);
            if (!compositor) {
                std::cerr << "orvo-wav-downloader: " << _("no display, and none could be started")
                          << ": " << why << '\n';
                return DownloadNewOptions::someFailed;
            }
        }
        unique = sessionBusReachable();
    }
    // The app is drawn light only. A dark theme named in GTK_THEME
    // ("Adwaita:dark", "Adwaita-dark") would win over the app's own setting,
    // and the page would turn dark with it.
    if (const char* theme = std::getenv("GTK_THEME")) {
        const std::string name(theme);
        setenv("GTK_THEME", Theme::lightThemeName(name.substr(0, name.find(':'))).c_str(), 1);
    }
    // Before GTK and WebKit start: they read the choice from the environment.
    PageRendering::chooseDrawing();
    WindowRenderer::choose();
    auto app = OrvoWavApp::create(unique);
    if (compositor)
        app->setPrivateDisplay();
    const int status = app->run(argc, argv);
    const std::optional<int> own = app->downloadNewStatus();
    app.reset();
    // Let go of the private display before it goes, rather than lose it.
    if (compositor)
        if (GdkDisplay* display = gdk_display_get_default())
            gdk_display_close(display);
    return own.value_or(status);
}
