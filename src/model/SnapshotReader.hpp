#pragma once
#include <string_view>

#include "model/LibrarySnapshot.hpp"

// Reads library.json straight into records, event by event, without
// building a JSON tree first: a library of 100,000 clips loads in a fraction
// of the time. Throws SnapshotError on the first thing that does not fit.
LibrarySnapshot readSnapshot(std::string_view json);
