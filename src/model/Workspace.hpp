#pragma once
#include <string>
#include <vector>

#include "model/Clips.hpp"

// One workspace (the service's project) with its clips in feed order.
struct Workspace {
    std::string id;
    std::string name;
    std::vector<WClip> clips;

    // The liked clips, in the same order; computed on every call.
    std::vector<WClip> likedClips() const {
        std::vector<WClip> liked;
        for (const WClip& clip : clips)
            if (clip.liked)
                liked.push_back(clip);
        return liked;
    }

    bool operator==(const Workspace&) const = default;
};
