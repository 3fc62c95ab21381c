#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// "1 track", "0 tracks", "12 tracks": the noun takes an "s" unless the
// count is exactly one.
inline std::string plural(std::int64_t count, std::string_view noun) {
    std::string text = std::to_string(count) + " ";
    text += noun;
    if (count != 1)
        text += 's';
    return text;
}
