#pragma once
#include "app/DownloadNewOptions.hpp"
#include "async/Clock.hpp"
#include "async/Task.hpp"
#include "manager/DownloadManager.hpp"
#include "session/OrvoService.hpp"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

// The page's sign-in as an unattended run needs to know it.
class SignInState {
  public:
    virtual ~SignInState() = default;
    virtual bool loggedIn() const = 0;
    // The page cannot be loaded at all.
    virtual bool unreachable() const = 0;
    // The page is on a sign-in site: nobody is signed in.
    virtual bool onSignInPage() const = 0;
};

// Downloads what is new with nobody watching (`--download-new`): signs in
// with the saved sign-in, scans as the last scan did, and runs the usual
// download into the last destination (or the one given) over the
// workspaces the last run chose, leaving alone every track saved before.
// It writes plain lines as it goes and ends with an exit status.
class UnattendedRun {
  public:
    // Where the lines go, and whether a progress bar may be drawn there.
    struct Output {
        std::function<void(const std::string&)> line;
        std::function<void(double)> progress; // may be empty
    };
    // How long the page may take to say whether it is signed in.
    static constexpr double signInLimit = 60;
    // "Not signed in" counts once the page has said so for this long.
    static constexpr double signedOutAfter = 5;
    static constexpr double probeInterval = 0.5;

    UnattendedRun(OrvoService& service, const SignInState& signIn, DownloadManager& manager,
                  Clock& clock, std::filesystem::path dataFolder, DownloadNewOptions options,
                  Output output);

    // The run from start to end: its exit status.
    Task<int> run();
    // Waits for a run already going and reports it as if it were this one.
    Task<int> join();

    // The counts of the run, once it has ended.
    const DownloadManager::RunCounts& counts() const { return counts_; }
    // The workspaces new since the last run that it did not cover.
    const std::vector<std::string>& leftOut() const { return leftOut_; }

    // A line for a terminal: without the marks that keep names apart in
    // mixed-direction text, which a terminal would show as they are.
    static std::string plain(const std::string& text);
    // "[#####-----]  50 %".
    static std::string bar(double fraction, int width = 30);

  private:
    enum class SignIn { yes, no, unreachable };
    Task<SignIn> waitForSignIn();
    Task<void> waitForRunEnd();
    // The exit status of the run that has just ended, with its summary.
    int finish(const std::filesystem::path& destination);
    void follow(DownloadManager::Property property);
    void say(const std::string& text);

    OrvoService& service_;
    const SignInState& signIn_;
    DownloadManager& manager_;
    Clock& clock_;
    std::filesystem::path dataFolder_;
    DownloadNewOptions options_;
    Output output_;
    DownloadManager::RunCounts counts_;
    std::vector<std::string> leftOut_;
    std::string workspaceLine_;
    bool started_ = false;
};

// Why a destination cannot take files now, or none when it can.
std::optional<std::string> destinationProblem(const std::filesystem::path& destination);
