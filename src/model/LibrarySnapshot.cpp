#include "model/LibrarySnapshot.hpp"

#include "model/SnapshotReader.hpp"

#include <glib.h>

#include <algorithm>


#include <nlohmann/json.hpp>

namespace {

// GLib's UTF-8 checks stop at a NUL, which JSON allows inside a string, so
// each stretch between NULs is checked (and if need be repaired) alone.
bool isUtf8(std::string_view text) {
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        if (!g_utf8_validate(text.data() + start, gssize(end - start), nullptr))
            return false;
        start = end + 1;
    }
    return true;
}

std::string repairedUtf8(std::string_view text) {
    std::string out;
    for (std::size_t start = 0; start <= text.size();) {
        const std::size_t end = std::min(text.find('\0', start), text.size());
        char* valid = g_utf8_make_valid(text.data() + start, gssize(end - start));
        out += valid;
        g_free(valid);
        if (end < text.size())
            out.push_back('\0');
        start = end + 1;
    }
    return out;
}

// Appends a JSON string literal. Titles come from the service and should be
// UTF-8 already; anything that is not is repaired rather than written out
// as a document no reader would accept.
void appendString(std::string& out, std::string_view text) {
    if (!isUtf8(text)) {
        appendString(out, repairedUtf8(text));
        return;
    }
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    std::size_t run = 0; // start of the characters not yet copied
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c >= 0x20 && c != '"' && c != '\\')
            continue;
        out.append(text, run, i - run);
        run = i + 1;
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            out += "\\u00";
            out.push_back(hex[c >> 4]);
            out.push_back(hex[c & 0xf]);
        }
    }
    out.append(text, run, text.size() - run);
    out.push_back('"');
}

} // namespace

std::string LibrarySnapshot::encode() const {
    std::string out;
    // One allocation up front: growing a multi-megabyte text step by step
    // costs more than writing it.
    std::size_t size = 128;
    for (const Workspace& workspace : workspaces) {
        size += workspace.id.size() + workspace.name.size() + 32;
        for (const WClip& clip : workspace.clips)
            size += clip.id.size() + clip.title.size() + 40;
    }
    out.reserve(size + size / 16);
    out += "{\"workspaces\":[";
    for (std::size_t w = 0; w < workspaces.size(); ++w) {
        const Workspace& workspace = workspaces[w];
        if (w)
            out.push_back(',');
        out += "{\"id\":";
        appendString(out, workspace.id);
        out += ",\"name\":";
        appendString(out, workspace.name);
        out += ",\"clips\":[";
        for (std::size_t c = 0; c < workspace.clips.size(); ++c) {
            const WClip& clip = workspace.clips[c];
            if (c)
                out.push_back(',');
            out += "{\"id\":";
            appendString(out, clip.id);
            out += ",\"title\":";
            appendString(out, clip.title);
            out += clip.liked ? ",\"liked\":true}" : ",\"liked\":false}";
        }
        out += "]}";
    }
    out += "],\"scannedAt\":";
    out += nlohmann::json(DateFormat::secondsSinceReference(scannedAt)).dump();
    if (scope) {
        out += ",\"scope\":";
        appendString(out, *scope);
    }
    out.push_back('}');
    return out;
}

LibrarySnapshot LibrarySnapshot::decode(std::string_view text) {
    return readSnapshot(text);
}
