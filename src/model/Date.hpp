#pragma once
#include <chrono>
#include <cmath>

// A point in calendar time, to the microsecond: fine enough for a scan's
// time stamp and exactly representable as the double that library.json
// stores, so a saved date reads back equal.
using Date = std::chrono::sys_time<std::chrono::microseconds>;

namespace DateFormat {
// library.json counts seconds from 2001-01-01 00:00:00 UTC.
inline constexpr std::chrono::sys_days referenceDay{std::chrono::year{2001} / 1 / 1};

inline double secondsSinceReference(Date date) {
    return std::chrono::duration<double>(date - referenceDay).count();
}

inline Date fromSecondsSinceReference(double seconds) {
    return Date{referenceDay} + std::chrono::microseconds{std::llround(seconds * 1e6)};
}
} // namespace DateFormat
