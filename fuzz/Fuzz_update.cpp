// Any body from the update host: exactly one alert, and a download page only
// when a newer version is offered at an https address.
#include "update/UpdateAlert.hpp"

#include <cstdint>
#include <glib.h>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const UpdateAlert alert = UpdateChecker::alertFor(
        false, body, "1.2.3", "https://updates.orvo.example", "https://www.orvo.example");
    if (alert.title.empty() || alert.body.empty())
        __builtin_trap();
    if (alert.download && (alert.title != "A new version is available" ||
                           g_ascii_strncasecmp(alert.download->c_str(), "https://", 8) != 0))
        __builtin_trap();
    return 0;
}
