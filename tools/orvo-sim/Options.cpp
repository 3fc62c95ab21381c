#include "Options.hpp"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <functional>
#include <map>
#include <type_traits>

namespace {

std::vector<std::string_view> split(std::string_view text, char separator) {
    std::vector<std::string_view> pieces;
    for (;;) {
        const auto at = text.find(separator);
        pieces.push_back(text.substr(0, at));
        if (at == std::string_view::npos)
            return pieces;
        text.remove_prefix(at + 1);
    }
}

template <typename Number> std::optional<Number> number(std::string_view text) {
    Number value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size())
        return std::nullopt;
    return value;
}

long wholeNumber(std::string_view option, std::string_view text, long low, long high) {
    const auto value = number<long>(text);
    if (!value || *value < low || *value > high)
        throw UsageError(std::string(option) + " wants a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + ", not \"" + std::string(text) + "\"");
    return *value;
}

double seconds(std::string_view option, std::string_view text) {
    const auto value = number<double>(text);
    if (!value || !std::isfinite(*value) || *value < 0)
        throw UsageError(std::string(option) + " wants a number of seconds, not \"" +
                         std::string(text) + "\"");
    return *value;
}

double share(std::string_view option, std::string_view text) {
    const auto value = number<double>(text);
    if (!value || !(*value >= 0 && *value <= 1))
        throw UsageError(std::string(option) + " wants a share from 0 to 1, not \"" +
                         std::string(text) + "\"");
    return *value;
}

int port(std::string_view option, std::string_view text) {
    return static_cast<int>(wholeNumber(option, text, 0, 65535));
}

WavFault wavFaultKind(std::string_view text) {
    if (text == "404")
        return WavFault::notFound;
    if (text == "short")
        return WavFault::cutShort;
    if (text == "not-wav")
        return WavFault::notWav;
    if (text == "stall")
        return WavFault::stall;
    throw UsageError("unknown WAV fault \"" + std::string(text) +
                     "\" (404, short, not-wav or stall)");
}

ApiFault apiFaultKind(std::string_view text) {
    if (text == "not-json")
        return {ApiFault::Kind::notJson};
    if (text == "drop")
        return {ApiFault::Kind::drop};
    if (text == "slow")
        return {ApiFault::Kind::slow};
    if (const auto status = number<int>(text); status && *status >= 400 && *status <= 599)
        return {ApiFault::Kind::status, *status};
    throw UsageError("unknown API fault \"" + std::string(text) +
                     "\" (a status from 400 to 599, not-json, drop or slow)");
}

UpdateResponse updateResponse(std::string_view text) {
    static const std::map<std::string_view, UpdateResponse> kinds{
        {"alt-text", UpdateResponse::altText}, {"no-alt-text", UpdateResponse::noAltText},
        {"not-json", UpdateResponse::notJson}, {"not-found", UpdateResponse::notFound},
        {"stall", UpdateResponse::stall},
    };
    const auto found = kinds.find(text);
    if (found == kinds.end())
        throw UsageError("--update-response: unknown kind \"" + std::string(text) +
                         "\" (alt-text, no-alt-text, not-json, not-found or stall)");
    return found->second;
}

// "KIND[#N]" with the kind read by `kind`.
template <typename Kind>
std::pair<Kind, std::optional<long>> counted(std::string_view text,
                                             Kind (*kind)(std::string_view)) {
    std::optional<long> times;
    if (const auto hash = text.rfind('#'); hash != std::string_view::npos) {
        times = wholeNumber("a fault's #N", text.substr(hash + 1), 1, 1'000'000'000);
        text = text.substr(0, hash);
    }
    return {kind(text), times};
}

// "KIND@CLIPS[#N]" for the WAV files, "ROUTE:KIND@CLIPS[#N]" for the API.
template <typename Fault>
ClipFaultRule<Fault> clipFaultRule(std::string_view option, std::string_view text,
                                   Fault (*kind)(std::string_view)) {
    const auto at = text.find('@');
    if (at == std::string_view::npos)
        throw UsageError(std::string(option) + " wants " +
                         (std::is_same_v<Fault, WavFault> ? "KIND@CLIPS, for example short@all"
                                                          : "ROUTE:KIND@CLIPS, for example "
                                                            "wav_file:429@all#2"));
    ClipFaultRule<Fault> rule{"wav", {}, {}, std::nullopt};
    auto name = text.substr(0, at);
    if constexpr (std::is_same_v<Fault, ApiFault>) {
        const auto colon = name.find(':');
        rule.route = std::string(name.substr(0, colon));
        if (colon == std::string_view::npos ||
            std::ranges::find(clipRoutes, rule.route) == std::end(clipRoutes))
            throw UsageError(std::string(option) + ": ROUTE is convert_wav, wav_file, "
                                                   "download_clip or billing_download");
        name = name.substr(colon + 1);
    }
    rule.fault = kind(name);
    auto clips = text.substr(at + 1);
    if (const auto hash = clips.rfind('#'); hash != std::string_view::npos) {
        rule.times = wholeNumber(option, clips.substr(hash + 1), 1, 1'000'000'000);
        clips = clips.substr(0, hash);
    }
    rule.clips = ClipSet::parse(clips);
    return rule;
}

// "KIND@CALLS"; --feed-status takes any status, as the old option did.
FeedFaultRule feedFaultRule(std::string_view option, std::string_view text) {
    const auto at = text.find('@');
    if (at == std::string_view::npos)
        throw UsageError(std::string(option) + " wants KIND@CALLS, for example 500@1-3");
    const auto kind = text.substr(0, at);
    const ApiFault fault = option == "--feed-status"
                               ? ApiFault{ApiFault::Kind::status,
                                          static_cast<int>(wholeNumber(option, kind, 100, 599))}
                               : apiFaultKind(kind);
    return {fault, CallSet::parse(text.substr(at + 1))};
}

// "SECONDS" (every clip) or "SECONDS@CLIPS".
void delayRule(Options& options, std::string_view text) {
    const auto at = text.find('@');
    if (at == std::string_view::npos) {
        options.convertDelay = seconds("--convert-delay", text);
        return;
    }
    options.delayRules.push_back(
        {seconds("--convert-delay", text.substr(0, at)), ClipSet::parse(text.substr(at + 1))});
}

} // namespace

std::pair<ApiFault, std::optional<long>> parseApiFault(std::string_view text) {
    return counted(text, &apiFaultKind);
}

std::pair<WavFault, std::optional<long>> parseWavFault(std::string_view text) {
    return counted(text, &wavFaultKind);
}

CallSet CallSet::parse(std::string_view text) {
    CallSet set;
    if (text == "all") {
        set.all_ = true;
        return set;
    }
    for (const auto piece : split(text, ',')) {
        const auto dash = piece.find('-');
        const auto first = number<long>(piece.substr(0, dash));
        const auto last =
            dash == std::string_view::npos ? first : number<long>(piece.substr(dash + 1));
        if (!first || !last || *first < 1 || *last < *first)
            throw UsageError("\"" + std::string(text) +
                             "\" is not a list of call numbers such as 2 or 1-3,5 or all");
        set.ranges_.emplace_back(*first, *last);
    }
    return set;
}

bool CallSet::contains(long call) const {
    if (all_)
        return true;
    for (const auto& [first, last] : ranges_)
        if (call >= first && call <= last)
            return true;
    return false;
}

ClipSet ClipSet::parse(std::string_view text) {
    ClipSet set;
    if (text == "all") {
        set.all_ = true;
        return set;
    }
    for (const auto piece : split(text, ',')) {
        if (piece.empty())
            throw UsageError("\"" + std::string(text) +
                             "\" is not a list of clip ids separated by commas, or all");
        set.ids_.emplace(piece);
    }
    return set;
}

Options parseOptions(const std::vector<std::string>& arguments) {
    Options options;
    auto& gen = options.generator;
    using Setter = std::function<void(std::string_view option, std::string_view value)>;
    const std::map<std::string_view, Setter> valued{
        {"--web-port", [&](auto o, auto v) { options.webPort = port(o, v); }},
        {"--api-port", [&](auto o, auto v) { options.apiPort = port(o, v); }},
        {"--update-port", [&](auto o, auto v) { options.updatePort = port(o, v); }},
        {"--storage-port", [&](auto o, auto v) { options.storagePort = port(o, v); }},
        {"--catalogue", [&](auto, auto v) { options.catalogueFile = std::string(v); }},
        {"--seed",
         [&](auto o, auto v) {
             const auto value = number<unsigned long long>(v);
             if (!value)
                 throw UsageError(std::string(o) + " wants a whole number, not \"" +
                                  std::string(v) + "\"");
             gen.seed = *value;
         }},
        {"--workspaces",
         [&](auto o, auto v) { gen.workspaces = static_cast<int>(wholeNumber(o, v, 1, 100000)); }},
        {"--clips",
         [&](auto o, auto v) { gen.clips = static_cast<int>(wholeNumber(o, v, 0, 10'000'000)); }},
        {"--liked-share", [&](auto o, auto v) { gen.likedShare = share(o, v); }},
        {"--incomplete-share", [&](auto o, auto v) { gen.incompleteShare = share(o, v); }},
        {"--trashed-share", [&](auto o, auto v) { gen.trashedShare = share(o, v); }},
        {"--no-project-share", [&](auto o, auto v) { gen.noProjectShare = share(o, v); }},
        {"--duplicate-share", [&](auto o, auto v) { gen.duplicateShare = share(o, v); }},
        {"--awkward-share", [&](auto o, auto v) { gen.awkwardShare = share(o, v); }},
        {"--slow-share", [&](auto o, auto v) { gen.slowShare = share(o, v); }},
        {"--slow-delay", [&](auto o, auto v) { gen.slowDelay = seconds(o, v); }},
        {"--page-size",
         [&](auto o, auto v) { options.pageSize = static_cast<int>(wholeNumber(o, v, 1, 1000)); }},
        {"--feed-status",
         [&](auto o, auto v) { options.feedFaults.push_back(feedFaultRule(o, v)); }},
        {"--feed-fault",
         [&](auto o, auto v) { options.feedFaults.push_back(feedFaultRule(o, v)); }},
        {"--feed-drop-cursor", [&](auto, auto v) { options.dropCursor = CallSet::parse(v); }},
        {"--feed-repeat-cursor", [&](auto, auto v) { options.repeatCursor = CallSet::parse(v); }},
        {"--api-fault",
         [&](auto o, auto v) { options.apiFaults.push_back(clipFaultRule(o, v, &apiFaultKind)); }},
        {"--answer-delay", [&](auto o, auto v) { options.answerDelay = seconds(o, v); }},
        {"--convert-delay", [&](auto, auto v) { delayRule(options, v); }},
        {"--prod-delay", [&](auto o, auto v) { options.prodDelay = seconds(o, v); }},
        {"--never-ready", [&](auto, auto v) { options.neverReady = ClipSet::parse(v); }},
        {"--needs-prod", [&](auto, auto v) { options.needsProd = ClipSet::parse(v); }},
        {"--wav-seconds", [&](auto o, auto v) { options.wavSeconds = seconds(o, v); }},
        {"--wav-fault",
         [&](auto o, auto v) { options.wavFaults.push_back(clipFaultRule(o, v, &wavFaultKind)); }},
        {"--signed-url-lifetime",
         [&](auto o, auto v) { options.signedUrlLifetime = seconds(o, v); }},
        {"--state-dir", [&](auto, auto v) { options.stateDir = std::string(v); }},
        {"--accept-token",
         [&](auto o, auto v) {
             if (v.empty())
                 throw UsageError(std::string(o) + " wants a non-empty token");
             options.acceptToken = std::string(v);
         }},
        {"--token-lifetime", [&](auto o, auto v) { options.tokenLifetime = seconds(o, v); }},
        {"--clerk-delay",
         [&](auto o, auto v) {
             options.clerkDelayMs = static_cast<int>(wholeNumber(o, v, 0, 600000));
         }},
        {"--provider-delay",
         [&](auto o, auto v) {
             options.providerDelayMs = static_cast<int>(wholeNumber(o, v, 0, 600000));
         }},
        {"--sign-in-on-load",
         [&](auto o, auto v) {
             if (v.empty())
                 throw UsageError(std::string(o) + " wants an email address");
             options.signInOnLoad = std::string(v);
         }},
        {"--update-alt-text", [&](auto, auto v) { options.updateAltText = std::string(v); }},
        {"--update-response", [&](auto, auto v) { options.updateResponse = updateResponse(v); }},
    };

    for (std::size_t i = 0; i < arguments.size(); ++i) {
        std::string_view argument = arguments[i];
        if (argument == "--help" || argument == "-h") {
            options.help = true;
            continue;
        }
        if (argument == "--verbose" || argument == "-v") {
            options.verbose = true;
            continue;
        }
        if (argument == "--hostile-pages") {
            options.hostilePages = true;
            continue;
        }
        if (argument == "--hostile-sign-in") {
            options.hostileSignIn = true;
            continue;
        }
        if (argument == "--sign-in-redirect") {
            options.signInRedirect = true;
            continue;
        }
        if (argument == "--wav-redirect") {
            options.wavRedirect = true;
            continue;
        }
        std::string_view name = argument;
        std::optional<std::string_view> value;
        if (const auto equals = argument.find('=');
            argument.starts_with("--") && equals != std::string_view::npos) {
            name = argument.substr(0, equals);
            value = argument.substr(equals + 1);
        }
        const auto setter = valued.find(name);
        if (setter == valued.end())
            throw UsageError("unknown option \"" + std::string(argument) + "\" (see --help)");
        if (!value) {
            if (i + 1 >= arguments.size())
                throw UsageError(std::string(name) + " wants a value");
            value = arguments[++i];
        }
        setter->second(name, *value);
    }
    return options;
}

std::string usageText() {
    return R"(Usage: orvo-sim [OPTION]...
A stand-in for the Orvo service: web site with sign-in, studio API, WAV
storage and update host, on 127.0.0.1. Prints one JSON line with the three
origins, then serves until SIGINT or SIGTERM.

Origins
  --web-port N, --api-port N, --update-port N, --storage-port N
                           ports (0, the default: free ones)

Catalogue
  --catalogue FILE         read the clips from FILE instead of generating them
  --seed N                 seed of the generated catalogue (1)
  --workspaces N           workspaces to generate (6)
  --clips N                clips to generate (80)
  --liked-share F          share of liked clips (0.3)
  --incomplete-share F     share of clips not yet complete (0.05)
  --trashed-share F        share of trashed clips (0.03)
  --no-project-share F     share of clips without a project (0.05)
  --duplicate-share F      share of titles repeated in a workspace (0.1)
  --awkward-share F        share of titles and names with awkward characters (0.1)
  --slow-share F           share of clips whose conversion is slow (0)
  --slow-delay S           seconds a slow clip takes to convert (60)
  --page-size N            clips per feed page (20)

Conversion
  --convert-delay S[@CLIPS]  seconds until a WAV is ready after a conversion
                             request: for every clip (2), or for the listed clips
  --prod-delay S           seconds from a prod to a ready WAV (0.5)
  --never-ready CLIPS      these clips never finish converting
  --needs-prod CLIPS       these clips are ready only after a prod
  --wav-seconds S          length of the generated audio (4)

Faults
  --feed-status STATUS@CALLS   answer these feed calls with STATUS
  --feed-fault KIND@CALLS      these feed calls fail as KIND (below)
  --feed-drop-cursor CALLS     these feed calls say has_more but give no cursor
  --feed-repeat-cursor CALLS   these feed calls say has_more and give back the
                               cursor they were sent (page 0: its own cursor)
  --api-fault ROUTE:KIND@CLIPS[#N]
                               calls of ROUTE (convert_wav, wav_file,
                               download_clip, billing_download) for these clips
                               fail as KIND; with #N only each clip's first N
  --answer-delay S         seconds a slow answer waits before its headers (5)
  --wav-fault KIND@CLIPS[#N]   WAV answers for these clips (only their first N
                               requests with #N): 404, short (cut off before
                               its announced length), not-wav (a 200 with an
                               error page) or stall (stops sending)
  KIND is a status from 400 to 599 (429 comes with Retry-After), not-json (a
  200 with an HTML page), drop (the connection closes unanswered) or slow
  (the usual answer after --answer-delay). CALLS is "all" or feed call numbers
  counted from 1 ("2", "1-3,5"); CLIPS is "all" or clip ids separated by commas.

Storage
  --wav-redirect           WAV addresses redirect to signed addresses on the
                           storage origin
  --signed-url-lifetime S  seconds a signed address stays valid (600)

Sign-in and tokens
  --state-dir DIR          keep sessions in DIR, so they survive a restart
  --accept-token TOKEN     a bearer token the API always accepts
  --token-lifetime S       lifetime of the page's bearer tokens (60)
  --clerk-delay MS         delay before the page loads its sign-in client (400)
  --provider-delay MS      delay before a provider pop-up signs in (500)
  --sign-in-on-load EMAIL  the home page signs in as EMAIL whoever opens it
                           without a session (for tests that cannot type)

Update host
  --update-alt-text TEXT   alt_text of the update document; "{origin}" stands for
                           the update host's origin (default: this version and
                           {origin}/download)
  --update-response KIND   alt-text (default), no-alt-text, not-json, not-found
                           or stall

Hostile pages
  --hostile-pages          serve pages that attack the app's embedded page:
                           /hostile/leave, /hostile/redirect, /hostile/downloads
                           on the web origin, /impostor on the storage origin
  --hostile-sign-in        the signed-out home page holds a frame from the
                           storage origin that opens windows with no click
  --sign-in-redirect       the home page sends a session ended by
                           DELETE /_sim/sessions to
                           /accounts/sign-in on the storage origin

  --verbose                log every request on standard error
  --help                   show this text
)";
}
