#include "ui/DisplayText.hpp"

#include <utf8proc.h>

namespace DisplayText {
namespace {

constexpr char32_t replacement = 0xFFFD;

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

} // namespace

std::string line(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    const auto* bytes = reinterpret_cast<const utf8proc_uint8_t*>(text.data());
    const auto size = utf8proc_ssize_t(text.size());
    utf8proc_ssize_t at = 0;
    int marks = 0; // combining marks on the current character so far
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
        append(out, shown(char32_t(codepoint)));
    }
    return out;
}

std::string clipped(std::string_view text, std::size_t maxCharacters) {
    std::size_t count = 0, at = 0;
    while (at < text.size()) {
        if (count == maxCharacters)
            return std::string(text.substr(0, at)) + "…";
        // Skip the continuation bytes of one UTF-8 sequence.
        ++at;
        while (at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80)
            ++at;
        ++count;
    }
    return std::string(text);
}

std::string composed(std::string_view text) {
    return "‎" + line(text);
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
