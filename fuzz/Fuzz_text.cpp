// Any bytes as a title from the service: what the window shows of it is
// valid UTF-8 on one line, no direction control of the title's own reaches
// past it, every isolate the app opens is closed, and a line cut short is
// cut between characters.
#include "model/Isolated.hpp"
#include "ui/DisplayText.hpp"

#include <cstdint>
#include <cstdlib>
#include <glib.h>
#include <string>

namespace {

void require(bool condition) {
    if (!condition)
        std::abort();
}

// Valid UTF-8 with no line break, no control character, and no direction
// control but balanced FSI … PDI pairs, one level deep (when allowed).
void checkShown(const std::string& text, bool isolatesAllowed) {
    require(g_utf8_validate(text.data(), gssize(text.size()), nullptr));
    bool open = false;
    for (const char* at = text.data(); at < text.data() + text.size();
         at = g_utf8_next_char(at)) {
        const gunichar c = g_utf8_get_char(at);
        require(c >= 0x20 && c != 0x7F && !(c >= 0x80 && c <= 0x9F));
        require(c != 0x2028 && c != 0x2029);
        require(!(c >= 0x202A && c <= 0x202E) && c != 0x2066 && c != 0x2067);
        if (c == 0x2068 || c == 0x2069) {
            require(isolatesAllowed && open == (c == 0x2069));
            open = !open;
        }
    }
    require(!open);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    // The first byte chooses where a composed line is cut.
    const std::size_t limit = data[0];
    const std::string title(reinterpret_cast<const char*>(data + 1), size - 1);

    checkShown(DisplayText::line(title), false);
    const std::string composed = DisplayText::composed(title);
    checkShown(composed.substr(3), true); // after the left-to-right mark
    checkShown(DisplayText::clipped(composed, limit), true);

    // A title the app isolates comes out as exactly one isolate.
    const std::string line = DisplayText::composed("Saved: " + isolated(title) + " (retry 1)");
    checkShown(line, true);
    const std::size_t opened = line.find("\u2068");
    require(opened != std::string::npos && line.find("\u2068", opened + 1) == std::string::npos);
    checkShown(DisplayText::clipped(line, limit), true);
    return 0;
}
