#include "download/FileNames.hpp"

#include <array>
#include <cstdlib>
#include <gio/gunixmounts.h>
#include <glib.h>
#include <sys/vfs.h>
#include <utf8proc.h>

namespace FileNames {
namespace {

constexpr std::size_t maxCharacters = 150;

bool isForbidden(char c) {
    switch (c) {
    case '/':
    case '\\':
    case ':':
    case '*':
    case '?':
    case '"':
    case '<':
    case '>':
    case '|':
    case '\0':
        return true;
    default:
        return false;
    }
}

// Unicode white space and line breaks: the separators, tab to carriage
// return, and the next-line character.
bool isSpace(utf8proc_int32_t cp) {
    if ((cp >= 0x09 && cp <= 0x0D) || cp == 0x85)
        return true;
    const auto category = utf8proc_category(cp);
    return category == UTF8PROC_CATEGORY_ZS || category == UTF8PROC_CATEGORY_ZL ||
           category == UTF8PROC_CATEGORY_ZP;
}

// The next code point of valid UTF-8 text and its length in bytes.
std::pair<utf8proc_int32_t, std::size_t> decode(std::string_view text, std::size_t at) {
    utf8proc_int32_t cp = 0;
    const auto length =
        utf8proc_iterate(reinterpret_cast<const utf8proc_uint8_t*>(text.data()) + at,
                         utf8proc_ssize_t(text.size() - at), &cp);
    return {cp, length > 0 ? std::size_t(length) : 1};
}

std::string_view trimmed(std::string_view text) {
    std::size_t begin = 0;
    while (begin < text.size()) {
        auto [cp, length] = decode(text, begin);
        if (!isSpace(cp))
            break;
        begin += length;
    }
    // Scan forward, remembering where the last non-space character ends.
    std::size_t end = begin;
    for (std::size_t at = begin; at < text.size();) {
        auto [cp, length] = decode(text, at);
        at += length;
        if (!isSpace(cp))
            end = at;
    }
    return text.substr(begin, end - begin);
}

// The longest prefix of at most maxGraphemes user-perceived characters and
// maxBytes bytes that ends between two characters. Should even the first
// character be longer than maxBytes (a letter with hundreds of marks), the
// cut falls between code points instead, so a name never comes out empty.
std::string_view prefix(std::string_view text, std::size_t maxGraphemes, std::size_t maxBytes) {
    utf8proc_int32_t state = 0;
    utf8proc_int32_t previous = -1;
    std::size_t graphemes = 0, cut = 0, codePointCut = 0, at = 0;
    while (at < text.size()) {
        auto [cp, length] = decode(text, at);
        if (previous >= 0 && utf8proc_grapheme_break_stateful(previous, cp, &state)) {
            if (++graphemes > maxGraphemes || at > maxBytes)
                break;
            cut = at;
        }
        if (at + length <= maxBytes)
            codePointCut = at + length;
        previous = cp;
        at += length;
    }
    if (at == text.size() && ++graphemes <= maxGraphemes && at <= maxBytes)
        cut = at;
    if (cut == 0 && !text.empty())
        cut = codePointCut;
    return text.substr(0, cut);
}

// "." and ".." would name the folder itself or its parent.
void replaceDotNames(std::string& name) {
    if (name == "." || name == "..")
        name.replace(0, name.size(), name.size(), '_');
}

bool isControl(char c) {
    return (c > '\0' && c < ' ') || c == '\x7f';
}

// Windows drops trailing dots and spaces, so "Demo." and "Demo" would be
// one file there.
std::string_view withoutTrailingDots(std::string_view name) {
    while (!name.empty() && (name.back() == '.' || name.back() == ' '))
        name.remove_suffix(1);
    return name;
}

// CON, PRN, AUX, NUL, COM1-9 and LPT1-9 name devices on Windows, whatever
// follows the first dot; a "_" after the device name makes it a plain name.
std::string withoutDeviceName(std::string name) {
    const std::string_view stem = std::string_view(name).substr(0, name.find('.'));
    const auto is = [&](std::string_view device) {
        return g_ascii_strncasecmp(stem.data(), device.data(), device.size()) == 0;
    };
    const bool device =
        (stem.size() == 3 && (is("CON") || is("PRN") || is("AUX") || is("NUL"))) ||
        (stem.size() == 4 && (is("COM") || is("LPT")) && stem[3] >= '1' && stem[3] <= '9');
    if (device)
        name.insert(stem.size(), "_");
    return name;
}

// Room kept for the "_" after a device name.
std::size_t spare(NameRules rules) {
    return rules == NameRules::windows ? 1 : 0;
}

// The last steps that make a name valid under the rules.
std::string finished(std::string name, NameRules rules) {
    if (rules == NameRules::windows) {
        name = std::string(withoutTrailingDots(name));
        if (name.empty())
            return "untitled";
        return withoutDeviceName(std::move(name));
    }
    replaceDotNames(name);
    return name;
}

} // namespace

std::string sanitize(std::string_view text, NameRules rules) {
    // The forbidden characters are single bytes that never occur inside a
    // longer UTF-8 sequence, so they are replaced before any repair.
    std::string valid(text);
    for (char& c : valid)
        if (isForbidden(c))
            c = '_';
    if (!g_utf8_validate_len(valid.data(), valid.size(), nullptr)) {
        char* repaired = g_utf8_make_valid(valid.data(), gssize(valid.size()));
        valid = repaired;
        g_free(repaired);
    }
    std::string_view name = trimmed(valid);
    std::string windowsName;
    if (rules == NameRules::windows) {
        // Line breaks and tabs inside the title too.
        windowsName = withoutTrailingDots(name);
        for (char& c : windowsName)
            if (isControl(c))
                c = '_';
        name = windowsName;
    }
    if (name.empty())
        return "untitled";
    return finished(std::string(prefix(name, maxCharacters, maxNameBytes - spare(rules))), rules);
}

std::string UsedNames::fold(std::string_view name) {
    utf8proc_uint8_t* folded = nullptr;
    const auto length = utf8proc_map(
        reinterpret_cast<const utf8proc_uint8_t*>(name.data()), utf8proc_ssize_t(name.size()),
        &folded, utf8proc_option_t(UTF8PROC_STABLE | UTF8PROC_COMPOSE | UTF8PROC_CASEFOLD));
    if (length < 0)
        return std::string(name);
    std::string key(reinterpret_cast<const char*>(folded), std::size_t(length));
    std::free(folded);
    return key;
}

bool UsedNames::contains(std::string_view name) const {
    return names_.contains(fold(name));
}

void UsedNames::insert(std::string_view name) {
    names_.insert(fold(name));
}

std::string availableName(std::string_view title, const UsedNames& used, NameRules rules) {
    const std::string base = sanitize(title, rules);
    for (unsigned number = 1;; ++number) {
        const std::string ending =
            number == 1 ? std::string(".wav") : " (" + std::to_string(number) + ").wav";
        std::string candidate =
            finished(std::string(
                         prefix(base, maxCharacters, maxNameBytes - spare(rules) - ending.size())),
                     rules) +
            ending;
        if (!used.contains(candidate))
            return candidate;
    }
}

} // namespace FileNames

namespace FileNames {

NameRules nameRulesFor(const std::filesystem::path& folder) {
    // The kernel's own drivers say what they are.
    constexpr std::array<long, 7> windowsDisks = {
        0x4d44,           // FAT
        0x2011BAB0,       // exFAT
        0x5346544e,       // NTFS
        0x7366746e,       // NTFS (ntfs3)
        long(0xFF534D42), // SMB shares (cifs)
        long(0xFE534D42), // SMB shares (smb2)
        0x517B,           // SMB shares (smbfs)
    };
    struct statfs disk {};
    if (statfs(folder.c_str(), &disk) != 0)
        return NameRules::standard;
    for (long magic : windowsDisks)
        if (long(disk.f_type) == magic)
            return NameRules::windows;
    constexpr long fuse = 0x65735546;
    if (long(disk.f_type) != fuse)
        return NameRules::standard;
        // Through FUSE, the mount table names the file system. A FUSE file
        // system over a block device is exFAT or NTFS in practice.
#if GLIB_CHECK_VERSION(2, 84, 0)
    GUnixMountEntry* mount = g_unix_mount_entry_for(folder.c_str(), nullptr);
#else
    GUnixMountEntry* mount = g_unix_mount_for(folder.c_str(), nullptr);
#endif
    if (!mount)
        return NameRules::standard;
#if GLIB_CHECK_VERSION(2, 84, 0)
    const std::string_view type = g_unix_mount_entry_get_fs_type(mount);
#else
    const std::string_view type = g_unix_mount_get_fs_type(mount);
#endif
    const bool windows = type.starts_with("fuseblk") || type.find("exfat") != type.npos ||
                         type.find("ntfs") != type.npos || type.find("fat") != type.npos;
#if GLIB_CHECK_VERSION(2, 84, 0)
    g_unix_mount_entry_free(mount);
#else
    g_unix_mount_free(mount);
#endif
    return windows ? NameRules::windows : NameRules::standard;
}

bool isPartFile(std::string_view name) {
    const std::string_view pattern(partFileTemplate);
    const std::size_t random = pattern.find('X');
    const std::string_view prefix = pattern.substr(0, random);
    const std::string_view suffix = pattern.substr(pattern.rfind('X') + 1);
    return name.size() == pattern.size() && name.starts_with(prefix) && name.ends_with(suffix);
}

} // namespace FileNames
