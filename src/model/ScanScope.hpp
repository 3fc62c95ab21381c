#pragma once
#include <cstdint>
#include <string>
#include <optional>

// How much of the library a scan covers: the n most recent workspaces, or
// everything.
class ScanScope {
public:
    static ScanScope recent(std::int64_t count) { return ScanScope{count}; }
    static ScanScope full() { return ScanScope{}; }

    bool isFull() const { return !count_; }
    // The workspace limit of a recent scan; 0 for a full one.
    std::int64_t count() const { return count_.value_or(0); }

    // The label a saved library keeps: "full" or "recent 20".
    std::string label() const {
        return count_ ? "recent " + std::to_string(*count_) : std::string("full");
    }

    bool operator==(const ScanScope&) const = default;

private:
    ScanScope() = default;
    explicit ScanScope(std::int64_t count) : count_(count) {}
    std::optional<std::int64_t> count_;
};
