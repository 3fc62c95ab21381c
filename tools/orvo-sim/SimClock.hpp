#pragma once
#include <glib.h>

// The stand-in's time in seconds: the monotonic clock plus whatever tests
// have asked to skip, so a test never waits out a conversion delay.
class SimClock {
  public:
    double now() const { return static_cast<double>(g_get_monotonic_time()) / 1e6 + skipped_; }
    void advance(double seconds) { skipped_ += seconds; }

  private:
    double skipped_ = 0;
};
