#pragma once
#include "SimClock.hpp"

#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <set>
#include <string>

// Signed-in sessions (named by the site's cookie) and the short-lived bearer
// tokens the page's client obtains with them. Sessions are kept in a file
// under the state folder when there is one, so they outlive a restart.
class Accounts {
  public:
    // Beyond these the oldest session, or the token closest to expiry, goes,
    // so a client that signs in or asks for tokens in a loop cannot exhaust
    // the stand-in.
    static constexpr std::size_t maxSessions = 1000;
    static constexpr std::size_t maxTokens = 10000;

    Accounts(std::optional<std::filesystem::path> stateDir, const SimClock& clock,
             double tokenLifetime, std::optional<std::string> acceptToken);

    // A new session for this user; returns its id for the cookie.
    std::string signIn(const std::string& email);
    void signOut(const std::string& session);
    // Ends every session, as a service does that revokes them; wasEnded()
    // then knows their ids.
    void endAll();
    bool wasEnded(const std::string& session) const { return ended_.contains(session); }
    std::optional<std::string> emailOf(const std::string& session) const;

    // A new bearer token, or none when the session does not exist.
    std::optional<std::string> issueToken(const std::string& session);
    bool tokenValid(const std::string& token) const;
    double tokenLifetime() const { return tokenLifetime_; }

  private:
    void load();
    void save() const;

    std::optional<std::filesystem::path> file_;
    const SimClock& clock_;
    double tokenLifetime_;
    std::optional<std::string> acceptToken_;
    std::map<std::string, std::string> sessions_; // id → email
    std::deque<std::string> signInOrder_;         // session ids, oldest first
    std::map<std::string, double> tokens_;        // token → expiry
    std::set<std::string> ended_;                 // by endAll()
};
