#include "Catalogue.hpp"

#include <algorithm>
#include <array>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>
#include <sstream>

namespace {

std::string textOr(const nlohmann::json& object, const char* key, std::string fallback) {
    if (object.is_object()) {
        const auto found = object.find(key);
        if (found != object.end() && found->is_string() &&
            !found->get_ref<const std::string&>().empty())
            return found->get<std::string>();
    }
    return fallback;
}

// Reads the simulation members of one clip and strips them from the feed.
CatalogueClip clipFromJson(nlohmann::json object, std::size_t index) {
    const auto where = "clip " + std::to_string(index) + ": ";
    if (!object.is_object())
        throw CatalogueError(where + "not a JSON object");
    CatalogueClip clip;
    if (const auto id = object.find("id"); id != object.end() && id->is_string())
        clip.id = id->get<std::string>();
    auto seconds = [&](const char* key) -> std::optional<double> {
        const auto found = object.find(key);
        if (found == object.end())
            return std::nullopt;
        if (!found->is_number() || found->get<double>() < 0)
            throw CatalogueError(where + key + " must be a number of seconds, 0 or more");
        return found->get<double>();
    };
    auto flag = [&](const char* key) {
        const auto found = object.find(key);
        if (found == object.end())
            return false;
        if (!found->is_boolean())
            throw CatalogueError(where + key + " must be true or false");
        return found->get<bool>();
    };
    clip.convertDelay = seconds("convert_delay");
    clip.wavSeconds = seconds("wav_seconds");
    clip.neverReady = flag("never_ready");
    clip.needsProd = flag("needs_prod");
    try {
        if (const auto faults = object.find("api_faults"); faults != object.end()) {
            if (!faults->is_object())
                throw UsageError("api_faults must be an object of routes");
            for (const auto& [route, fault] : faults->items()) {
                if (std::ranges::find(clipRoutes, route) == std::end(clipRoutes) ||
                    !fault.is_string())
                    throw UsageError("api_faults." + route + " is not a route's \"KIND[#N]\"");
                clip.apiFaults[route] = parseApiFault(fault.get<std::string>());
            }
        }
        if (const auto fault = object.find("wav_fault"); fault != object.end()) {
            if (!fault->is_string())
                throw UsageError("wav_fault must be a text \"KIND[#N]\"");
            clip.wavFault = parseWavFault(fault->get<std::string>());
        }
    } catch (const UsageError& error) {
        throw CatalogueError(where + error.what());
    }
    for (const char* key :
         {"convert_delay", "wav_seconds", "never_ready", "needs_prod", "api_faults", "wav_fault"})
        object.erase(key);
    clip.feed = std::move(object);
    return clip;
}

// The same numbers on every platform: the standard engines give them, the
// standard distributions may not, so we draw from the engine directly.
class Dice {
  public:
    explicit Dice(unsigned long long seed) : engine_(seed) {}
    std::size_t below(std::size_t n) { return n == 0 ? 0 : engine_() % n; }
    bool chance(double p) { return static_cast<double>(engine_() >> 11) * 0x1.0p-53 < p; }
    template <typename T, std::size_t N> const T& pick(const std::array<T, N>& items) {
        return items[below(N)];
    }
    std::string uuid() {
        char text[37];
        const auto a = engine_(), b = engine_();
        std::snprintf(text, sizeof text, "%08llx-%04llx-4%03llx-%04llx-%012llx",
                      static_cast<unsigned long long>(a >> 32),
                      static_cast<unsigned long long>((a >> 16) & 0xffff),
                      static_cast<unsigned long long>(a & 0xfff),
                      static_cast<unsigned long long>(0x8000 | ((b >> 48) & 0x3fff)),
                      static_cast<unsigned long long>(b & 0xffffffffffffULL));
        return text;
    }

  private:
    std::mt19937_64 engine_;
};

constexpr std::array<const char*, 24> adjectives{
    "Midnight", "Golden",  "Velvet", "Electric", "Quiet",   "Neon",     "Paper",  "Silver",
    "Broken",   "Distant", "Hollow", "Crimson",  "Winter",  "Summer",   "Lucid",  "Analog",
    "Northern", "Faded",   "Gentle", "Restless", "Burning", "Floating", "Secret", "Wild"};
constexpr std::array<const char*, 24> nouns{
    "Drive",  "Harbor",   "Echoes", "Skyline", "Garden", "Signals",   "Rain",  "Horizon",
    "Static", "Lanterns", "Tides",  "Motel",   "Orbit",  "Letters",   "Fever", "Canyon",
    "Rooms",  "Arcade",   "Waves",  "Streets", "Bloom",  "Satellite", "Dust",  "Mirrors"};
constexpr std::array<const char*, 10> workspaceKinds{
    "Sessions", "Sketches", "Demos",       "Album", "EP",
    "Beats",    "Drafts",   "Experiments", "Mixes", "Ideas"};

// Titles and names that trip up file names, text layout and escaping.
const std::array<std::string, 26>& awkwardTitles() {
    static const std::array<std::string, 26> titles{
        "AC/DC Tribute",
        "???",
        "   ",
        "",
        "a//b",
        "Why? Because: \"reasons\"",
        "<script>alert(1)</script>",
        "Ça va — très bien · ok…",
        "\U0001F3B5 Emoji \U0001F469\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466 family",
        "Cafe\u0301 Combining",
        "Caf\u00e9 Combining",
        std::string(90, 'x') + " long title " + std::string(90, 'y'),
        "..",
        ".",
        ".hidden track",
        "CON",
        "tab\tinside",
        "new\nline",
        "back\\slash",
        "  leading and trailing  ",
        "\uFF26\uFF55\uFF4C\uFF4C\uFF57\uFF49\uFF44\uFF54\uFF48",
        "\u05E9\u05DC\u05D5\u05DD \u0639\u0627\u0644\u0645",
        "pipe | star * colon :",
        "song",
        "Song",
        "\U0001F1EB\U0001F1F7 flags \U0001F3F3\uFE0F\u200D\U0001F308",
    };
    return titles;
}

std::string isoTime(long long seconds) {
    const std::time_t time = static_cast<std::time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000Z", &parts);
    return text;
}

constexpr std::array<const char*, 5> incompleteStatuses{"streaming", "submitted", "queued", "error",
                                                        "streaming"};

} // namespace

std::string CatalogueClip::title() const {
    return textOr(feed, "title", "Untitled");
}

std::string CatalogueClip::projectName() const {
    const auto project = feed.find("project");
    return project == feed.end() ? "(no workspace)" : textOr(*project, "name", "(no workspace)");
}

Catalogue Catalogue::load(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    if (!file)
        throw CatalogueError("cannot read the catalogue file " + path);
    std::stringstream text;
    text << file.rdbuf();
    nlohmann::json document;
    try {
        document = nlohmann::json::parse(text.str());
    } catch (const nlohmann::json::exception& error) {
        throw CatalogueError(path + " is not JSON: " + error.what());
    }
    try {
        return fromJson(document);
    } catch (const CatalogueError& error) {
        throw CatalogueError(path + ": " + error.what());
    }
}

Catalogue Catalogue::fromJson(const nlohmann::json& document) {
    if (!document.is_object() || !document.contains("clips") || !document["clips"].is_array())
        throw CatalogueError("a catalogue is a JSON object with a \"clips\" array");
    Catalogue catalogue;
    std::size_t index = 0;
    for (const auto& item : document["clips"])
        catalogue.clips_.push_back(clipFromJson(item, index++));
    catalogue.index();
    return catalogue;
}

Catalogue Catalogue::generate(const GeneratorSettings& settings) {
    Dice dice(settings.seed);
    struct Project {
        std::string id, name;
        std::vector<std::string> titles;
    };
    std::vector<Project> projects;
    for (int i = 0; i < settings.workspaces; ++i) {
        std::string name = std::string(dice.pick(adjectives)) + " " + dice.pick(workspaceKinds);
        if (dice.chance(settings.awkwardShare))
            name = awkwardTitles()[dice.below(awkwardTitles().size())];
        projects.push_back({dice.uuid(), std::move(name), {}});
    }

    Catalogue catalogue;
    // Newest first, one minute apart; neighbours tend to share a workspace,
    // as a real library made in sessions does.
    long long created = 1'717'000'000;
    std::size_t current = 0;
    for (int i = 0; i < settings.clips; ++i) {
        if (i == 0 || !dice.chance(0.7))
            current = dice.below(projects.size());
        auto& project = projects[current];

        std::string title = std::string(dice.pick(adjectives)) + " " + dice.pick(nouns);
        if (!project.titles.empty() && dice.chance(settings.duplicateShare))
            title = project.titles[dice.below(project.titles.size())];
        else if (dice.chance(settings.awkwardShare))
            title = awkwardTitles()[dice.below(awkwardTitles().size())];
        project.titles.push_back(title);

        nlohmann::json clip{
            {"id", dice.uuid()},
            {"title", title},
            {"status",
             dice.chance(settings.incompleteShare) ? dice.pick(incompleteStatuses) : "complete"},
            {"is_trashed", dice.chance(settings.trashedShare)},
            {"is_liked", dice.chance(settings.likedShare)},
            {"created_at", isoTime(created - 60LL * i)},
            {"duration", 60 + static_cast<int>(dice.below(180))},
        };
        if (!dice.chance(settings.noProjectShare))
            clip["project"] = {{"id", project.id}, {"name", project.name}};
        // Drawn only when asked for, so other settings keep their catalogue.
        if (settings.slowShare > 0 && dice.chance(settings.slowShare))
            clip["convert_delay"] = settings.slowDelay;
        catalogue.clips_.push_back(clipFromJson(std::move(clip), static_cast<std::size_t>(i)));
    }
    catalogue.index();
    return catalogue;
}

const CatalogueClip* Catalogue::find(const std::string& id) const {
    const auto found = byId_.find(id);
    return found == byId_.end() ? nullptr : &clips_[found->second];
}

void Catalogue::index() {
    for (std::size_t i = 0; i < clips_.size(); ++i)
        if (!clips_[i].id.empty())
            byId_.emplace(clips_[i].id, i);
}
