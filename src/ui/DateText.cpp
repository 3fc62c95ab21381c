#include "ui/DateText.hpp"

#include <cstdlib>
#include <unicode/udat.h>
#include <unicode/ustring.h>
#include <vector>

namespace DateText {
namespace {

// "en_GB.UTF-8@euro" -> "en_GB"; the C locale reads as American English.
std::string userLocale() {
    for (const char* variable : {"LC_ALL", "LC_TIME", "LANG"}) {
        const char* value = std::getenv(variable);
        if (!value || !*value)
            continue;
        std::string locale(value);
        locale = locale.substr(0, locale.find_first_of(".@"));
        if (locale == "C" || locale == "POSIX")
            return "en_US";
        return locale;
    }
    return "en_US";
}

std::vector<UChar> utf16(const std::string& text) {
    std::vector<UChar> out(text.size() + 1);
    int32_t length = 0;
    UErrorCode status = U_ZERO_ERROR;
    u_strFromUTF8(out.data(), int32_t(out.size()), &length, text.data(), int32_t(text.size()),
                  &status);
    out.resize(U_SUCCESS(status) ? std::size_t(length) : 0);
    return out;
}

} // namespace

std::string abbreviated(Date date, const std::string& locale, const std::string& timeZone) {
    const std::string where = locale.empty() ? userLocale() : locale;
    const std::vector<UChar> zone = utf16(timeZone);
    UErrorCode status = U_ZERO_ERROR;
    UDateFormat* format =
        udat_open(UDAT_SHORT, UDAT_MEDIUM, where.c_str(), zone.empty() ? nullptr : zone.data(),
                  zone.empty() ? 0 : int32_t(zone.size()), nullptr, 0, &status);
    if (U_FAILURE(status))
        return {};
    const UDate millis = double(date.time_since_epoch().count()) / 1000.0;
    UChar text[128];
    const int32_t length = udat_format(format, millis, text, 128, nullptr, &status);
    udat_close(format);
    if (U_FAILURE(status))
        return {};
    char utf8[512];
    int32_t written = 0;
    u_strToUTF8(utf8, int32_t(sizeof utf8), &written, text, length, &status);
    return U_SUCCESS(status) ? std::string(utf8, std::size_t(written)) : std::string{};
}

} // namespace DateText
