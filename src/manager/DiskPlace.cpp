#include "manager/DiskPlace.hpp"

#include "manager/StoredPath.hpp"

#include <cctype>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/sysmacros.h>
#include <vector>

namespace {

// One line of the mount table: which device, which of its folders is
// mounted where, and from what.
struct Mount {
    std::string root, point, source;
};

// The table escapes blanks and backslashes in paths as octal.
std::string unescaped(const std::string& field) {
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() &&
            std::isdigit(static_cast<unsigned char>(field[i + 1]))) {
            out += char(std::stoi(field.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

bool under(const std::filesystem::path& path, const std::filesystem::path& point) {
    auto p = path.begin();
    for (auto q = point.begin(); q != point.end(); ++q, ++p)
        if (q->empty())
            continue; // a trailing separator
        else if (p == path.end() || *p != *q)
            return false;
    return true;
}

// The mount the folder is under: of those of its device, the one with the
// longest mount point that holds it.
std::optional<Mount> mountOf(const std::filesystem::path& folder, dev_t device,
                             const std::filesystem::path& table) {
    std::ifstream in(table);
    std::optional<Mount> best;
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string id, parent, numbers, root, point;
        if (!(fields >> id >> parent >> numbers >> root >> point))
            continue;
        unsigned major = 0, minor = 0;
        if (std::sscanf(numbers.c_str(), "%u:%u", &major, &minor) != 2 ||
            makedev(major, minor) != device)
            continue;
        std::string field, type, source;
        while (fields >> field && field != "-") {
        }
        fields >> type >> source;
        Mount mount{unescaped(root), unescaped(point), unescaped(source)};
        if (under(folder, mount.point) && (!best || mount.point.size() > best->point.size()))
            best = std::move(mount);
    }
    return best;
}

// The UUID the system lists for a device, by the links udev keeps.
std::optional<std::string> uuidOf(const std::string& source, const std::filesystem::path& uuids) {
    if (!source.starts_with("/dev/"))
        return std::nullopt;
    std::error_code error;
    const auto device = std::filesystem::canonical(source, error);
    if (error)
        return std::nullopt;
    for (std::filesystem::directory_iterator entries(uuids, error), end; !error && entries != end;
         entries.increment(error)) {
        std::error_code ignored;
        if (std::filesystem::canonical(entries->path(), ignored) == device)
            return entries->path().filename().string();
    }
    return std::nullopt;
}

} // namespace

std::optional<DiskPlace> DiskPlace::of(const std::filesystem::path& folder,
                                       const std::filesystem::path& mountTable,
                                       const std::filesystem::path& uuids) {
    std::error_code error;
    const std::filesystem::path real = std::filesystem::canonical(folder, error);
    struct stat status {};
    struct statfs system {};
    if (error || stat(real.c_str(), &status) != 0 || statfs(real.c_str(), &system) != 0)
        return std::nullopt;
    const std::optional<Mount> mount = mountOf(real, status.st_dev, mountTable);
    if (!mount)
        return std::nullopt;
    DiskPlace place;
    if (const auto uuid = uuidOf(mount->source, uuids)) {
        place.disk = "uuid:" + *uuid;
    } else {
        std::uint64_t id = 0;
        static_assert(sizeof system.f_fsid == sizeof id);
        std::memcpy(&id, &system.f_fsid, sizeof id);
        if (id == 0)
            return std::nullopt;
        char text[24];
        std::snprintf(text, sizeof text, "fsid:%016" PRIx64, id);
        place.disk = text;
    }
    // A bind mount shows a folder of its file system: the path inside
    // starts from there.
    std::string inside =
        (std::filesystem::path(mount->root) / real.lexically_relative(mount->point))
            .lexically_normal()
            .string();
    if (inside.size() > 1 && inside.ends_with('/'))
        inside.pop_back();
    place.inside = StoredPath::text(inside);
    return place;
}
