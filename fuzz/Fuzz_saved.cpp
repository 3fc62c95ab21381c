// Any bytes as saved-tracks.json and as its journal: the record reads what
// it can use, leads nowhere outside the destination, and a track saved next
// is found again.
#include "manager/SavedTracks.hpp"

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <glib.h>
#include <string>

namespace {

// A folder of its own for the record, removed at exit.
struct Folder {
    std::filesystem::path path;
    Folder() {
        // Memory, where there is some: every save syncs the file.
        const std::filesystem::path base = std::filesystem::is_directory("/dev/shm")
                                               ? "/dev/shm"
                                               : std::filesystem::temp_directory_path();
        std::string pattern = base / "fuzz-saved-XXXXXX";
        if (!mkdtemp(pattern.data()))
            std::abort();
        path = pattern;
    }
    ~Folder() {
        std::error_code ignored;
        std::filesystem::remove_all(path, ignored);
    }
} folder;

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto record = folder.path / "saved-tracks.json";
    // A record set aside before keeps its name: the folder starts empty.
    for (const auto& entry : std::filesystem::directory_iterator(folder.path))
        std::filesystem::remove(entry.path());
    for (const auto& file : {record, SavedTracks::journalFile(record)})
        std::ofstream(file, std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    // Only looked at, never written: the record goes to its own folder.
    const std::filesystem::path music = "/m";

    SavedTracks saved(record, music);
    for (const auto& [folder, clips] : saved.folders()) {
        if (folder.find('/') != std::string::npos || folder == "..")
            std::abort();
        for (const auto& [id, file] : clips)
            if (file.name.find('/') != std::string::npos || file.name == "..")
                std::abort();
    }

    // Any text as a clip id and a name is written so that it reads back.
    const std::string text(reinterpret_cast<const char*>(data), std::min<std::size_t>(size, 24));
    const bool valid = g_utf8_validate_len(text.data(), text.size(), nullptr);
    const std::string id = valid ? text : "new";
    const bool name = valid && !text.empty() && text != "." && text != ".." &&
                      text.find('/') == std::string::npos;
    const SavedTracks::File file{name ? text : "Song.wav", 42, 7};
    saved.remember("Demos", id, file);
    saved.save(); // a failure is thrown, and so found
    const SavedTracks again(record, music);
    const SavedTracks::File* found = again.find("Demos", id);
    if (!found || *found != file)
        std::abort();
    return 0;
}
