#pragma once
#include <deque>
#include <filesystem>
#include <string>
#include <vector>

// The activity log of a run nobody watched, kept until the window next
// starts and shows it.
namespace UnattendedLog {

// unattended-log.json in the app's data folder.
inline std::filesystem::path fileIn(const std::filesystem::path& dataFolder) {
    return dataFolder / "unattended-log.json";
}
void save(const std::filesystem::path& dataFolder, const std::deque<std::string>& lines);
// The lines kept, which are then forgotten; none when nothing was kept.
std::vector<std::string> take(const std::filesystem::path& dataFolder);

} // namespace UnattendedLog
