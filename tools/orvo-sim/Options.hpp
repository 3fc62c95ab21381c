#pragma once
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A command line the program cannot act on; the text says what is wrong.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Which calls of a kind a fault applies to: "all", or 1-based numbers and
// ranges such as "2", "1-3" or "2,5-6".
class CallSet {
  public:
    static CallSet parse(std::string_view text);
    bool contains(long call) const;
    bool empty() const { return !all_ && ranges_.empty(); }

  private:
    bool all_ = false;
    std::vector<std::pair<long, long>> ranges_;
};

// Which clips a fault applies to: "all", or clip ids separated by commas.
class ClipSet {
  public:
    static ClipSet parse(std::string_view text);
    bool contains(const std::string& id) const { return all_ || ids_.contains(id); }
    bool empty() const { return !all_ && ids_.empty(); }

  private:
    bool all_ = false;
    std::set<std::string> ids_;
};

enum class WavFault { notFound, cutShort, notWav, stall };

// What an API route answers instead of its usual answer.
struct ApiFault {
    enum class Kind {
        status,  // this HTTP status (429 with a Retry-After)
        notJson, // a 200 whose body is an HTML page
        drop,    // the connection closes without an answer
        slow,    // the usual answer, after --answer-delay seconds
    };
    Kind kind;
    int status = 0;
};

// A fault for the listed clips; with `times`, only each clip's first that
// many calls of the route get it.
template <typename Fault> struct ClipFaultRule {
    std::string route; // convert_wav, wav_file, download_clip, billing_download or wav
    Fault fault;
    ClipSet clips;
    std::optional<long> times;
};
using WavFaultRule = ClipFaultRule<WavFault>;
using ApiFaultRule = ClipFaultRule<ApiFault>;

struct FeedFaultRule {
    ApiFault fault;
    CallSet calls;
};

// The routes of one clip that --api-fault and the catalogue's api_faults name.
inline constexpr const char* clipRoutes[] = {"convert_wav", "wav_file", "download_clip",
                                             "billing_download"};

// "KIND[#N]": a fault kind and how many calls it lasts. Throw UsageError.
std::pair<ApiFault, std::optional<long>> parseApiFault(std::string_view text);
std::pair<WavFault, std::optional<long>> parseWavFault(std::string_view text);

struct DelayRule {
    double seconds;
    ClipSet clips;
};

enum class UpdateResponse { altText, noAltText, notJson, notFound, stall };

// How the generated catalogue looks; the same seed gives the same catalogue.
struct GeneratorSettings {
    unsigned long long seed = 1;
    int workspaces = 6;
    int clips = 80;
    double likedShare = 0.3;
    double incompleteShare = 0.05;
    double trashedShare = 0.03;
    double noProjectShare = 0.05;
    double duplicateShare = 0.1;
    double awkwardShare = 0.1;
    double slowShare = 0; // clips whose conversion takes slowDelay
    double slowDelay = 60;
};

struct Options {
    int webPort = 0;
    int apiPort = 0;
    int updatePort = 0;
    int storagePort = 0;

    std::optional<std::string> catalogueFile;
    GeneratorSettings generator;
    int pageSize = 20;

    std::vector<FeedFaultRule> feedFaults;
    CallSet dropCursor;
    CallSet repeatCursor;
    std::vector<ApiFaultRule> apiFaults;
    double answerDelay = 5.0;

    double convertDelay = 2.0;
    std::vector<DelayRule> delayRules;
    double prodDelay = 0.5;
    ClipSet neverReady;
    ClipSet needsProd;

    double wavSeconds = 4.0;
    std::vector<WavFaultRule> wavFaults;
    bool wavRedirect = false;
    double signedUrlLifetime = 600.0;

    std::optional<std::string> stateDir;
    std::optional<std::string> acceptToken;
    double tokenLifetime = 60.0;
    int clerkDelayMs = 400;
    int providerDelayMs = 500;
    // Test-only: the home page signs a visitor without a session in as this.
    std::optional<std::string> signInOnLoad;

    std::optional<std::string> updateAltText;
    UpdateResponse updateResponse = UpdateResponse::altText;

    bool hostilePages = false;
    // The signed-out home page holds a frame of another site that keeps
    // asking for windows.
    bool hostileSignIn = false;
    // The home page sends a visitor whose session has ended to a sign-in
    // page on the storage origin.
    bool signInRedirect = false;
    bool verbose = false;
    bool help = false;
};

// Reads the command line; throws UsageError naming the offending option.
Options parseOptions(const std::vector<std::string>& arguments);

// The text printed by --help.
std::string usageText();
