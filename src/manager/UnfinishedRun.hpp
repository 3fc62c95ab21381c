#pragma once
#include <filesystem>
#include <optional>
#include <set>
#include <string>

// A download run that did not reach its end (a crash, a quit, a lost
// sign-in, a stop), kept so that it can be finished later: where it went,
// with which choices, and the tracks it had not saved yet.
struct UnfinishedRun {
    std::filesystem::path destination;
    std::set<std::string> selected;
    bool likedOnly = true;
    bool prepareUpcoming = false;
    bool tagFiles = false;
    std::set<std::string> clipIds; // not saved when it was last written

    // How many of those are still to fetch, by the record of saved tracks.
    std::size_t left = 0;
    bool operator==(const UnfinishedRun&) const = default;

    std::string encode() const;
    // None for text this app did not write.
    static std::optional<UnfinishedRun> decode(const std::string& text);
};
