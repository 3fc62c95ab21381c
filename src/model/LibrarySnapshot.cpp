#include "model/LibrarySnapshot.hpp"

#include <glib.h>

#include <cmath>

#include <nlohmann/json.hpp>

namespace {

// Appends a JSON string literal. Titles come from the service and should be
// UTF-8 already; anything that is not is repaired rather than written out
// as a document no reader would accept.
void appendString(std::string& out, std::string_view text) {
    if (!g_utf8_validate(text.data(), gssize(text.size()), nullptr)) {
        char* valid = g_utf8_make_valid(text.data(), gssize(text.size()));
        appendString(out, valid);
        g_free(valid);
        return;
    }
    static constexpr char hex[] = "0123456789abcdef";
    out.push_back('"');
    for (char c : text) {
        switch (c) {
        case '"': out += "\\\""; break;
        case '\\': out += "\\\\"; break;
        case '\n': out += "\\n"; break;
        case '\r': out += "\\r"; break;
        case '\t': out += "\\t"; break;
        default:
            if (static_cast<unsigned char>(c) < 0x20) {
                out += "\\u00";
                out.push_back(hex[(c >> 4) & 0xf]);
                out.push_back(hex[c & 0xf]);
            } else {
                out.push_back(c);
            }
        }
    }
    out.push_back('"');
}

const nlohmann::json& member(const nlohmann::json& object, const char* name) {
    auto it = object.find(name);
    if (it == object.end())
        throw SnapshotError(std::string("library.json: missing member \"") + name + "\"");
    return *it;
}

std::string stringMember(const nlohmann::json& object, const char* name) {
    const auto& value = member(object, name);
    if (!value.is_string())
        throw SnapshotError(std::string("library.json: \"") + name + "\" is not a string");
    return value.get<std::string>();
}

const nlohmann::json& typedMember(const nlohmann::json& object, const char* name,
                                  bool (nlohmann::json::*isType)() const noexcept,
                                  const char* typeName) {
    const auto& value = member(object, name);
    if (!(value.*isType)())
        throw SnapshotError(std::string("library.json: \"") + name + "\" is not " + typeName);
    return value;
}

void requireObject(const nlohmann::json& value, const char* what) {
    if (!value.is_object())
        throw SnapshotError(std::string("library.json: ") + what + " is not an object");
}

} // namespace

std::string LibrarySnapshot::encode() const {
    std::string out;
    out.reserve(64 + workspaces.size() * 64);
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
    nlohmann::json document = nlohmann::json::parse(text, nullptr, false);
    if (document.is_discarded())
        throw SnapshotError("library.json: not a JSON document");
    requireObject(document, "the document");

    LibrarySnapshot snapshot;
    const auto& scannedAt =
        typedMember(document, "scannedAt", &nlohmann::json::is_number, "a number");
    const double seconds = scannedAt.get<double>();
    // Beyond some 290,000 years the microsecond count would overflow.
    if (!(std::abs(seconds) < 9e12))
        throw SnapshotError("library.json: \"scannedAt\" is out of range");
    snapshot.scannedAt = DateFormat::fromSecondsSinceReference(seconds);

    if (auto scope = document.find("scope"); scope != document.end() && !scope->is_null()) {
        if (!scope->is_string())
            throw SnapshotError("library.json: \"scope\" is not a string");
        snapshot.scope = scope->get<std::string>();
    }

    const auto& workspaces =
        typedMember(document, "workspaces", &nlohmann::json::is_array, "an array");
    snapshot.workspaces.reserve(workspaces.size());
    for (const auto& item : workspaces) {
        requireObject(item, "a workspace");
        Workspace workspace{stringMember(item, "id"), stringMember(item, "name"), {}};
        const auto& clips = typedMember(item, "clips", &nlohmann::json::is_array, "an array");
        workspace.clips.reserve(clips.size());
        for (const auto& clip : clips) {
            requireObject(clip, "a clip");
            const auto& liked =
                typedMember(clip, "liked", &nlohmann::json::is_boolean, "a boolean");
            workspace.clips.push_back(
                WClip{stringMember(clip, "id"), stringMember(clip, "title"), liked.get<bool>()});
        }
        snapshot.workspaces.push_back(std::move(workspace));
    }
    return snapshot;
}
