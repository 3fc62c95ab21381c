#include "ui/DisplayText.hpp"

#include "model/Translation.hpp"

#include <utf8proc.h>

namespace DisplayText {
namespace {

constexpr char32_t replacement = 0xFFFD;
constexpr char32_t firstStrongIsolate = 0x2068, popIsolate = 0x2069;

void append(std::string& out, char32_t codepoint) {
    utf8proc_uint8_t encoded[4];
    const auto length = utf8proc_encode_char(utf8proc_int32_t(codepoint), encoded);
    out.append(reinterpret_cast<const char*>(encoded), std::size_t(length));
}

char32_t shown(char32_t c) {
    if (c < 0x20)
        return 0x2400 + c; // ␀, ␉, ␊, …
    if (c == 0x7F)
        return 0x2421; // ␡
    if ((c >= 0x80 && c <= 0x9F) || c == 0x2028 || c == 0x2029)
        return replacement;
    // Embeddings, overrides and isolates (LRE … RLO, LRI … PDI) would
    // change the direction of the text that follows.
    if ((c >= 0x202A && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069))
        return replacement;
    return c;
}

bool combining(utf8proc_int32_t codepoint) {
    const auto category = utf8proc_category(codepoint);
    return category == UTF8PROC_CATEGORY_MN || category == UTF8PROC_CATEGORY_ME;
}

// line(), and with keepIsolates the FSI … PDI pairs of composed().
std::string shownLine(std::string_view text, bool keepIsolates) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = utf8proc_ssize_t(text.size());
    utf8proc_ssize_t at = 0;
    int marks = 0;     // combining marks on the current character so far
    bool open = false; // inside an isolate kept
    while (at < size) {
        // The common case, printable ASCII, is copied as it is.
        const unsigned char byte = bytes[at];
        if (byte >= 0x20 && byte < 0x7F) {
            out += char(byte);
            marks = 0;
            ++at;
            continue;
        }
        utf8proc_int32_t codepoint = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(bytes + at, size - at, &codepoint);
        if (length <= 0) {
            append(out, replacement);
            marks = 0;
            ++at;
            continue;
        }
        at += length;
        // Stacks of marks would be drawn over the lines around.
        if (combining(codepoint)) {
            if (++marks > maxCombiningMarks)
                continue;
        } else {
            marks = 0;
        }
        // The app isolates each name once, never one inside another: an
        // isolate opened inside another, or closed with none open, is not
        // the app's.
        if (keepIsolates && (codepoint == firstStrongIsolate || codepoint == popIsolate) &&
            open == (codepoint == popIsolate)) {
            open = !open;
            append(out, char32_t(codepoint));
            continue;
        }
        append(out, shown(char32_t(codepoint)));
    }
    if (open)
        append(out, popIsolate);
    return out;
}

} // namespace

std::string line(std::string_view text) {
    return shownLine(text, false);
}

std::string clipped(std::string_view text, std::size_t maxCharacters) {
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = utf8proc_ssize_t(text.size());
    utf8proc_ssize_t at = 0;
    utf8proc_ssize_t boundary = 0; // where the last character (grapheme) began
    utf8proc_int32_t previous = -1, state = 0;
    int open = 0, openAtBoundary = 0; // isolates open there
    std::size_t count = 0;
    while (at < size) {
        utf8proc_int32_t codepoint = 0;
        utf8proc_ssize_t length = utf8proc_iterate(bytes + at, size - at, &codepoint);
        if (length <= 0) {
            codepoint = replacement;
            length = 1;
        }
        if (previous < 0 || utf8proc_grapheme_break_stateful(previous, codepoint, &state)) {
            boundary = at;
            openAtBoundary = open;
        }
        if (count == maxCharacters) {
            // Cut where a character begins, not between a letter and its
            // marks; only one character longer than the whole limit is cut
            // inside.
            const bool whole = boundary > 0;
            std::string out(text.substr(0, std::size_t(whole ? boundary : at)));
            // The isolate of a name cut short ends before the ellipsis, so
            // the line around it keeps its order.
            for (int i = whole ? openAtBoundary : open; i > 0; --i)
                append(out, popIsolate);
            return out + "…";
        }
        if (codepoint == firstStrongIsolate)
            ++open;
        else if (codepoint == popIsolate && open > 0)
            --open;
        previous = codepoint;
        at += length;
        ++count;
    }
    return std::string(text);
}

std::string composed(std::string_view text) {
    // The line takes the direction of the app's language, not of its first
    // letters.
    return (Translation::rightToLeft() ? "\u200F" : "\u200E") + shownLine(text, true);
}

std::string name(std::string_view text) {
    return "\u2068" + line(text) + "\u2069";
}

std::string upperCase(std::string_view text) {
    std::string upper;
    upper.reserve(text.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    utf8proc_ssize_t at = 0;
    const auto size = utf8proc_ssize_t(text.size());
    while (at < size) {
        utf8proc_int32_t codepoint = 0;
        const utf8proc_ssize_t length = utf8proc_iterate(bytes + at, size - at, &codepoint);
        if (length <= 0) { // not UTF-8: keep the byte, the display repairs it
            upper += text[std::size_t(at)];
            ++at;
            continue;
        }
        utf8proc_uint8_t encoded[4];
        const auto written = utf8proc_encode_char(utf8proc_toupper(codepoint), encoded);
        upper.append(reinterpret_cast<const char*>(encoded), std::size_t(written));
        at += length;
    }
    return upper;
}

} // namespace DisplayText
