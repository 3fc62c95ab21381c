// orvo-sim: a local stand-in for the Orvo service, for the demo and the
// integration tests. See README.md beside this file.
#include "Simulator.hpp"

#include <csignal>
#include <cstdio>
#include <glib-unix.h>
#include <iostream>

int main(int argc, char** argv) {
    Options options;
    try {
        options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "orvo-sim: " << error.what() << "\n";
        return 2;
    }
    if (options.help) {
        std::cout << usageText();
        return 0;
    }

    // A reader that goes away must not kill the server.
    std::signal(SIGPIPE, SIG_IGN);
    try {
        auto catalogue = options.catalogueFile ? Catalogue::load(*options.catalogueFile)
                                               : Catalogue::generate(options.generator);
        Simulator simulator(std::move(options), std::move(catalogue));

        GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
        auto quit = [](gpointer data) -> gboolean {
            g_main_loop_quit(static_cast<GMainLoop*>(data));
            return G_SOURCE_CONTINUE;
        };
        g_unix_signal_add(SIGINT, quit, loop);
        g_unix_signal_add(SIGTERM, quit, loop);

        std::printf("%s\n", simulator.originsLine().c_str());
        std::fflush(stdout);
        g_main_loop_run(loop);
        g_main_loop_unref(loop);
    } catch (const std::exception& error) {
        std::cerr << "orvo-sim: " << error.what() << "\n";
        return 1;
    }
    return 0;
}
