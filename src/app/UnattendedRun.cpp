#include "app/UnattendedRun.hpp"

#include "download/WriteError.hpp"
#include "manager/LastRunChoice.hpp"
#include "model/Isolated.hpp"
#include "model/Translation.hpp"

#include <cmath>
#include <sigc++/connection.h>
#include <unistd.h>

namespace {

// Disconnects when the run's coroutine ends, however it ends.
class Watch {
  public:
    explicit Watch(sigc::connection connection) : connection_(connection) {}
    ~Watch() { connection_.disconnect(); }
    Watch(const Watch&) = delete;
    Watch& operator=(const Watch&) = delete;

  private:
    sigc::connection connection_;
};

ScanScope scopeOf(const std::optional<std::string>& label, std::int64_t recentCount) {
    if (label && *label == "full")
        return ScanScope::full();
    if (label && label->starts_with("recent ")) {
        try {
            const long long count = std::stoll(label->substr(7));
            if (count > 0)
                return ScanScope::recent(count);
        } catch (const std::exception&) {
        }
    }
    return ScanScope::recent(recentCount);
}

} // namespace

std::optional<std::string> destinationProblem(const std::filesystem::path& destination) {
    std::error_code error;
    if (!std::filesystem::is_directory(destination, error))
        // Translators: {folder} is the folder the user chose to save into.
        return Translation::fill(_("Destination folder not found: {folder}"),
                                 {{"folder", WriteError::displayPath(destination)}});
    if (::access(destination.c_str(), W_OK | X_OK) != 0)
        // Translators: {folder} is the folder the user chose to save into.
        return Translation::fill(_("Destination folder cannot be written to: {folder}"),
                                 {{"folder", WriteError::displayPath(destination)}});
    return std::nullopt;
}

UnattendedRun::UnattendedRun(OrvoService& service, const SignInState& signIn,
                             DownloadManager& manager, Clock& clock,
                             std::filesystem::path dataFolder, DownloadNewOptions options,
                             Output output)
    : service_(service), signIn_(signIn), manager_(manager), clock_(clock),
      dataFolder_(std::move(dataFolder)), options_(std::move(options)), output_(std::move(output)) {
}

std::string UnattendedRun::plain(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        // U+200E, U+2066 to U+2069 in UTF-8.
        if (i + 2 < text.size() && text[i] == '\xe2' &&
            ((text[i + 1] == '\x80' && text[i + 2] == '\x8e') ||
             (text[i + 1] == '\x81' && text[i + 2] >= '\xa6' && text[i + 2] <= '\xa9'))) {
            i += 2;
            continue;
        }
        out += text[i];
    }
    return out;
}

std::string UnattendedRun::bar(double fraction, int width) {
    fraction = std::isfinite(fraction) ? std::clamp(fraction, 0.0, 1.0) : 0.0;
    const int filled = int(std::lround(fraction * width));
    std::string text = "[" + std::string(std::size_t(filled), '#') +
                       std::string(std::size_t(width - filled), '-') + "] ";
    const std::string percent = std::to_string(int(std::lround(fraction * 100)));
    return text + std::string(3 - std::min<std::size_t>(3, percent.size()), ' ') + percent + " %";
}

void UnattendedRun::say(const std::string& text) {
    output_.line(plain(text));
}

Task<UnattendedRun::SignIn> UnattendedRun::waitForSignIn() {
    double waited = 0, signedOutFor = 0;
    while (waited < signInLimit) {
        if (signIn_.loggedIn())
            co_return SignIn::yes;
        if (signIn_.unreachable())
            co_return SignIn::unreachable;
        bool saysNo = signIn_.onSignInPage();
        if (!saysNo) {
            try {
                saysNo = !co_await service_.isLoggedIn();
            } catch (const std::exception&) {
                // Still loading: no answer yet.
            }
        }
        // The page's sign-in client loads a little after the page and says
        // "no" until then: only a "no" that lasts is one.
        signedOutFor = saysNo ? signedOutFor + probeInterval : 0;
        if (signedOutFor >= signedOutAfter)
            co_return SignIn::no;
        co_await clock_.pause(probeInterval);
        waited += probeInterval;
    }
    co_return signIn_.loggedIn() ? SignIn::yes : SignIn::unreachable;
}

void UnattendedRun::follow(DownloadManager::Property property) {
    using Property = DownloadManager::Property;
    if (property == Property::running && manager_.running())
        started_ = true;
    if (!manager_.running())
        return;
    if (property == Property::overall) {
        // "Workspace 2 of 3: Demos — track 4 of 9": one line when the
        // workspace changes. The name ends with the mark that isolates it.
        const std::string& overall = manager_.overall();
        const std::size_t end = overall.find("\xe2\x81\xa9");
        if (end != std::string::npos) {
            std::string line = overall.substr(0, end + 3);
            if (line != workspaceLine_) {
                workspaceLine_ = line;
                say(line);
            }
        }
    } else if (property == Property::fraction && output_.progress) {
        output_.progress(manager_.fraction());
    }
}

Task<int> UnattendedRun::run() {
    const Watch watch(
        manager_.signalChanged().connect(sigc::mem_fun(*this, &UnattendedRun::follow)));
    if (manager_.running() || manager_.scanning())
        co_return co_await join();

    // The destination first: when it is not there, nothing else is worth asking.
    std::optional<std::filesystem::path> destination =
        options_.destination ? options_.destination : manager_.destFolder();
    if (!destination) {
        say(_("No destination folder chosen yet: choose one in the app, or give --destination."));
        co_return DownloadNewOptions::destinationUnavailable;
    }
    if (auto problem = destinationProblem(*destination)) {
        say(*problem);
        co_return DownloadNewOptions::destinationUnavailable;
    }

    switch (co_await waitForSignIn()) {
    case SignIn::yes:
        break;
    case SignIn::no:
        say(_("Sign in to Orvo to keep your library up to date"));
        co_return DownloadNewOptions::signInNeeded;
    case SignIn::unreachable:
        say(_("Orvo could not be reached."));
        co_return DownloadNewOptions::someFailed;
    }

    // The same scan as last time: the recent workspaces, or all of them.
    manager_.loadCache();
    co_await manager_.scan(scopeOf(manager_.lastScope(), manager_.recentCount()));
    say(manager_.scanStatus());
    if (!signIn_.loggedIn()) {
        say(_("Sign in to Orvo to keep your library up to date"));
        co_return DownloadNewOptions::signInNeeded;
    }
    if (!manager_.lastScanComplete())
        co_return DownloadNewOptions::someFailed;

    const std::optional<LastRunChoice> choice = LastRunChoice::load(dataFolder_);
    LastRunChoice::Coverage coverage =
        LastRunChoice::coverage(choice, manager_.workspaces(), options_.allWorkspaces);
    // A run into the same folder that was cut short is finished by this one.
    if (const auto& unfinished = manager_.unfinished();
        unfinished && unfinished->destination == *destination)
        for (const Workspace& workspace : manager_.workspaces())
            if (unfinished->selected.contains(workspace.id))
                coverage.selected.insert(workspace.id);
    leftOut_ = coverage.leftOut;
    if (options_.destination)
        manager_.setDestFolder(*destination);
    manager_.setSelected(coverage.selected);
    manager_.setLikedOnly(choice ? choice->likedOnly : true);

    started_ = false;
    co_await manager_.startKeepingSaved();
    if (output_.progress && started_)
        output_.progress(-1); // the bar is done: a line of its own follows
    if (!started_) {
        // Refused before it began: the destination is gone or on another disk.
        say(manager_.overall());
        co_return DownloadNewOptions::destinationUnavailable;
    }
    co_return finish(*destination);
}

Task<void> UnattendedRun::waitForRunEnd() {
    while (manager_.running() || manager_.scanning())
        co_await clock_.pause(probeInterval);
}

Task<int> UnattendedRun::join() {
    say(_("A download is already going; following it."));
    const bool wasRunning = manager_.running();
    co_await waitForRunEnd();
    if (!wasRunning && !started_)
        // Only a scan was going: nothing was downloaded to report on.
        co_return co_await run();
    const auto destination = manager_.destFolder();
    co_return finish(destination.value_or(std::filesystem::path()));
}

int UnattendedRun::finish(const std::filesystem::path& destination) {
    counts_ = manager_.lastRunCounts();
    if (!leftOut_.empty()) {
        std::string names;
        for (const std::string& name : leftOut_)
            names += (names.empty() ? "" : ", ") + isolated(name);
        say(Translation::counted(
            std::int64_t(leftOut_.size()),
            // Translators: {names} lists workspaces, separated by commas.
            "Not included, new since the last run: {count} workspace ({names}). Add it in the app "
            "or use --all-workspaces.",
            "Not included, new since the last run: {count} workspaces ({names}). Add them in the "
            "app or use --all-workspaces.",
            {{"names", names}}));
    }
    say(manager_.overall() + ": " + manager_.current());
    if (manager_.overall() == _(DownloadManager::signedOutText)) {
        say(_("Sign in to Orvo to keep your library up to date"));
        return DownloadNewOptions::signInNeeded;
    }
    const bool complete = manager_.overall() == _(DownloadManager::completeText);
    if (!complete && !destination.empty() && destinationProblem(destination))
        return DownloadNewOptions::destinationUnavailable;
    return complete && counts_.failed == 0 ? DownloadNewOptions::done
                                           : DownloadNewOptions::someFailed;
}
