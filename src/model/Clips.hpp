#pragma once
#include <string>

// One clip as read from one page of the library feed.
struct RawClip {
    std::string id;
    std::string title;
    bool liked = false;
    std::string projectId;   // empty when the clip belongs to no workspace
    std::string projectName; // "(no workspace)" then
    bool operator==(const RawClip&) const = default;
};

// A clip as kept inside a workspace and stored in library.json.
struct WClip {
    std::string id;
    std::string title;
    bool liked = false;
    bool operator==(const WClip&) const = default;
};
