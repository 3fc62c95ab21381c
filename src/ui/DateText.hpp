#pragma once
#include "model/Date.hpp"

#include <string>

namespace DateText {

// The date in the user's locale, abbreviated date then short time, for
// example "Dec 6, 2026, 8:46 PM" in American English or "6 Dec 2026,
// 20:46" in British English. The locale comes from LC_ALL, LC_TIME or LANG
// unless given ("en_GB"); the time zone is the system's unless given ("UTC").
std::string abbreviated(Date date, const std::string& locale = "",
                        const std::string& timeZone = "");

} // namespace DateText
