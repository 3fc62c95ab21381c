#pragma once
#include <optional>
#include <string>

// A track the download run gave up on, listed for manual download.
struct FailedItem {
    std::string id;
    std::string title;
    std::string workspace; // the workspace's name, for display

    // The track's own page on the web site, or none when the joined text
    // is not a valid address.
    std::optional<std::string> orvoURL() const;

    bool operator==(const FailedItem&) const = default;
};
