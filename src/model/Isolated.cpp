#include "model/Isolated.hpp"

std::string isolated(std::string_view name) {
    std::string out = "\u2068";
    out.reserve(name.size() + 6);
    for (std::size_t i = 0; i < name.size(); ++i) {
        // LRE … RLO are E2 80 AA … AE, LRI … PDI are E2 81 A6 … A9. A lead
        // byte is never a continuation byte, so a match is a whole character.
        if (name[i] == '\xE2' && i + 2 < name.size()) {
            const auto second = static_cast<unsigned char>(name[i + 1]);
            const auto third = static_cast<unsigned char>(name[i + 2]);
            if ((second == 0x80 && third >= 0xAA && third <= 0xAE) ||
                (second == 0x81 && third >= 0xA6 && third <= 0xA9)) {
                out += "\uFFFD";
                i += 2;
                continue;
            }
        }
        out += name[i];
    }
    out += "\u2069";
    return out;
}
