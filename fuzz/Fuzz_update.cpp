// Any body from the update host: exactly one alert, and a download page only
// when a newer version is offered at a web address.
#include <cstdint>
#include <string_view>

#include "download/WebAddress.hpp"
#include "update/UpdateAlert.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view body(reinterpret_cast<const char*>(data), size);
    const UpdateAlert alert = UpdateChecker::alertFor(false, body, "1.2.3");
    if (alert.title.empty() || alert.body.empty())
        __builtin_trap();
    if (alert.download &&
        (alert.title != "A new version is available" || !isWebAddress(*alert.download)))
        __builtin_trap();
    return 0;
}
