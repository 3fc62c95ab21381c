#include "manager/UnattendedLog.hpp"

#include "manager/PrivateFile.hpp"

#include <nlohmann/json.hpp>

void UnattendedLog::save(const std::filesystem::path& dataFolder,
                         const std::deque<std::string>& lines) {
    const nlohmann::json json(lines);
    PrivateFile::write(fileIn(dataFolder),
                       json.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace));
}

std::vector<std::string> UnattendedLog::take(const std::filesystem::path& dataFolder) {
    const auto text = PrivateFile::read(fileIn(dataFolder));
    std::error_code ignored;
    std::filesystem::remove(fileIn(dataFolder), ignored);
    std::vector<std::string> lines;
    if (!text)
        return lines;
    const auto json = nlohmann::json::parse(*text, nullptr, false);
    if (json.is_array())
        for (const auto& line : json)
            if (line.is_string())
                lines.push_back(line.get<std::string>());
    return lines;
}
