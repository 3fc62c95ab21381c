#include "Counters.hpp"

void Counters::count(const std::string& route, const std::string& clipId) {
    ++routes_[route];
    if (!clipId.empty())
        ++clips_[clipId][route];
}

void Counters::feedBody(nlohmann::json body) {
    // Enough for any test; a demo left running does not grow without end.
    if (feedBodies_.size() < 10000)
        feedBodies_.push_back(std::move(body));
}

void Counters::reset() {
    routes_.clear();
    clips_.clear();
    feedBodies_.clear();
}

nlohmann::json Counters::toJson() const {
    return {{"routes", routes_}, {"clips", clips_}, {"feed_bodies", feedBodies_}};
}
