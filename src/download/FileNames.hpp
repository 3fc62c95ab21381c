#pragma once
#include <filesystem>
#include <set>
#include <string>
#include <string_view>

// The names a download run gives folders and files.
namespace FileNames {

// At most this many bytes of UTF-8 in one name: what Linux file systems take.
inline constexpr std::size_t maxNameBytes = 255;

// Which names a disk takes. FAT, exFAT and NTFS (USB sticks, SD cards,
// disks shared with Windows) refuse control characters, names that end in a
// dot or a space, and the old device names.
enum class NameRules { standard, windows };

// The rules of the disk the folder is on.
NameRules nameRulesFor(const std::filesystem::path& folder);

// A title or workspace name made safe as one file or folder name: the nine
// characters / \ : * ? " < > | and NUL become "_", white space is trimmed
// from both ends, an empty result is "untitled", and the name is cut to 150
// user-perceived characters and 255 bytes, never inside a character. "." and
// ".." become "_" and "__". Under the Windows rules control characters also
// become "_", trailing dots and spaces go, and a device name (CON, PRN, AUX,
// NUL, COM1-9, LPT1-9, in any case, with or without an extension) gets "_"
// after it.
std::string sanitize(std::string_view text, NameRules rules = NameRules::standard);

// The file names already saved into one folder during a run. Names that
// differ only in letter case count as the same name, because on a file
// system that ignores case they are the same file.
class UsedNames {
  public:
    bool contains(std::string_view name) const;
    void insert(std::string_view name);
    std::size_t size() const { return names_.size(); }

    // The key under which a name is compared.
    static std::string fold(std::string_view name);

  private:
    std::set<std::string> names_;
};

// The hidden temporary file a download is written to before it is renamed
// into place (the X's become random characters), and whether a name is one.
inline constexpr const char* partFileTemplate = ".orvo-XXXXXX.wav.part";
bool isPartFile(std::string_view name);

// The first of "Title.wav", "Title (2).wav", "Title (3).wav"… that is not
// used yet, from the sanitised title, kept within 255 bytes. The set is not
// changed.
std::string availableName(std::string_view title, const UsedNames& used,
                          NameRules rules = NameRules::standard);

} // namespace FileNames
