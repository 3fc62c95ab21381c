#pragma once
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "model/Date.hpp"
#include "model/Workspace.hpp"

// The cached result of the last scan: the content of library.json.
struct LibrarySnapshot {
    std::vector<Workspace> workspaces;
    Date scannedAt;
    std::optional<std::string> scope; // "full", "recent 20", or none

    bool operator==(const LibrarySnapshot&) const = default;

    // The compact JSON document; scope is left out when there is none.
    std::string encode() const;

    // Reads a whole document or nothing: throws SnapshotError when it is
    // not JSON or a required member is missing or of the wrong type.
    static LibrarySnapshot decode(std::string_view json);
};

struct SnapshotError : std::runtime_error {
    using std::runtime_error::runtime_error;
};
