#pragma once
#include "async/GlibClock.hpp"

#include <vector>

// Main-loop time a hundred times faster, with the pauses asked for recorded:
// a 45-second poll or a 1.5-second probe interval takes a hundredth of that,
// and the order of events stays.
class FastClock final : public Clock {
  public:
    double now() const override { return real_.now() / scale; }
    Date date() const override { return real_.date(); }
    Task<void> pause(double seconds) override {
        pauses_.push_back(seconds);
        return real_.pause(seconds * scale);
    }
    const std::vector<double>& pauses() const { return pauses_; }

  private:
    static constexpr double scale = 0.01;
    GlibClock real_;
    std::vector<double> pauses_;
};
