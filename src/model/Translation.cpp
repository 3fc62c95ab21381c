#include "model/Translation.hpp"

#include "BuildConfig.hpp"

#include <algorithm>
#include <clocale>
#include <filesystem>
#include <libintl.h>
#include <vector>

namespace Translation {

std::string localeFolder() {
    // A program built in the build folder (the app, the tests) reads the
    // catalogues compiled there, so it speaks the language before it is
    // installed.
    std::error_code error;
    const auto self = std::filesystem::read_symlink("/proc/self/exe", error);
    const std::filesystem::path build(BuildConfig::buildFolder);
    if (error)
        return BuildConfig::localeFolder;
    if (!build.empty()) {
        const auto relative = self.lexically_relative(build);
        if (!relative.empty() && *relative.begin() != "..")
            return (build / "locale").string();
    }
    // Installed: next to the program's own bin folder (/usr, ~/.local).
    const auto installed = self.parent_path().parent_path() / "share" / "locale";
    if (std::filesystem::is_directory(installed, error))
        return installed.string();
    return BuildConfig::localeFolder;
}

void setUp() {
    std::setlocale(LC_ALL, "");
    bindtextdomain(domain, localeFolder().c_str());
    bind_textdomain_codeset(domain, "UTF-8");
}

namespace {

// Each name is looked up in the text only: a value that holds braces is
// put in as it is.
template <typename Values> std::string filled(std::string_view text, const Values& values) {
    std::string out;
    out.reserve(text.size());
    std::size_t at = 0;
    while (at < text.size()) {
        const std::size_t open = text.find('{', at);
        if (open == std::string_view::npos)
            break;
        const std::size_t close = text.find('}', open);
        if (close == std::string_view::npos)
            break;
        const std::string_view name = text.substr(open + 1, close - open - 1);
        out.append(text, at, open - at);
        const Value* found = nullptr;
        for (const Value& value : values)
            if (value.first == name)
                found = &value;
        if (found) {
            out += found->second;
            at = close + 1;
        } else {
            out += '{';
            at = open + 1;
        }
    }
    out.append(text.substr(at));
    return out;
}

} // namespace

std::string fill(std::string_view text, std::initializer_list<Value> values) {
    return filled(text, values);
}

std::string number(std::int64_t value) {
    // Grouped as LC_NUMERIC says: "12,345" in English, "12.345" in German.
    const std::lconv* conventions = std::localeconv();
    const std::string separator = conventions->thousands_sep ? conventions->thousands_sep : "";
    const std::string grouping = conventions->grouping ? conventions->grouping : "";
    const std::uint64_t magnitude = value < 0 ? 0 - std::uint64_t(value) : std::uint64_t(value);
    const std::string digits = std::to_string(magnitude);
    if (separator.empty() || grouping.empty())
        return (value < 0 ? "-" : "") + digits;
    std::string out;
    std::size_t group = 0, inGroup = 0;
    for (std::size_t i = digits.size(); i-- > 0;) {
        const auto size = std::size_t(grouping[std::min(group, grouping.size() - 1)]);
        if (size > 0 && size < 127 && inGroup == size) {
            out.insert(0, separator);
            inGroup = 0;
            ++group;
        }
        out.insert(out.begin(), digits[i]);
        ++inGroup;
    }
    return (value < 0 ? "-" : "") + out;
}

std::string counted(std::int64_t count, const char* one, const char* many,
                    std::initializer_list<Value> values) {
    const std::string shown = number(count);
    std::vector<Value> all(values);
    all.emplace_back("count", shown);
    return filled(g_dngettext(domain, one, many, gulong(count < 0 ? -count : count)), all);
}

bool rightToLeft() {
    // Translators: write "default:RTL" if your language is written right to
    // left, and leave "default:LTR" otherwise. It is not shown.
    return std::string_view(C_("text direction", "default:LTR")) == "default:RTL";
}

} // namespace Translation
