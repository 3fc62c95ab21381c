#pragma once
#include <string>

// GTK draws windows with OpenGL unless told otherwise. Without a GPU that
// is Mesa's software rasteriser: no faster than cairo for a window of flat
// cards and text, and about 120 MiB more of the app's memory. So where no
// GPU can draw (no render node, or software GL forced), the app asks GTK
// for cairo. GSK_RENDERER, when set, wins.
struct WindowRenderer {
    struct Machine {
        bool rendererNamed = false; // GSK_RENDERER is set
        bool softwareGl = false;    // LIBGL_ALWAYS_SOFTWARE is set and not 0
        bool renderNode = false;    // a GPU's render node is there
    };
    // The renderer to ask GTK for, or "" to leave GTK's default.
    static std::string choiceFor(const Machine& machine);
    // Reads this machine and process; before GTK starts.
    static void choose();
};
