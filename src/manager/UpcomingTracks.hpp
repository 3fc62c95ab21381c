#pragma once
#include <algorithm>
#include <cstddef>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The tracks a download run will fetch, in order, and how far ahead of the
// run the service has been asked to convert them. Each track is asked for
// at most once, and only while it is among the next few after the track
// whose turn it is; when its turn comes, it is only polled.
class UpcomingTracks {
  public:
    static constexpr std::size_t ahead = 4;

    explicit UpcomingTracks(std::vector<std::string> ids) : ids_(std::move(ids)) {}

    // The run's turn has come to the track at this position.
    void reach(std::size_t position) { current_ = position; }

    // The id of the first track within reach not asked for yet, which now
    // counts as asked for; none when there is no such track.
    std::optional<std::string> next() {
        const std::size_t candidate = std::max(asked_, current_ + 1);
        if (candidate >= ids_.size() || candidate > current_ + ahead)
            return std::nullopt;
        asked_ = candidate + 1;
        askedIds_.insert(ids_[candidate]);
        return ids_[candidate];
    }

    // Whether the track was asked for ahead of its turn; true once only, so
    // that a later attempt at it asks again.
    bool takeAsked(const std::string& id) { return askedIds_.erase(id) > 0; }

  private:
    std::vector<std::string> ids_;
    std::size_t current_ = 0;
    std::size_t asked_ = 0; // every track before this one was asked for or had its turn
    std::set<std::string> askedIds_;
};
