#include "Accounts.hpp"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <nlohmann/json.hpp>
#include <random>
#include <sstream>
#include <sys/stat.h>

namespace {

std::string randomText(const char* prefix) {
    static std::random_device source;
    static const char digits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
    std::string text = prefix;
    for (int i = 0; i < 32; ++i)
        text += digits[source() % 36];
    return text;
}

} // namespace

Accounts::Accounts(std::optional<std::filesystem::path> stateDir, const SimClock& clock,
                   double tokenLifetime, std::optional<std::string> acceptToken)
    : clock_(clock), tokenLifetime_(tokenLifetime), acceptToken_(std::move(acceptToken)) {
    if (stateDir) {
        std::filesystem::create_directories(*stateDir);
        ::chmod(stateDir->c_str(), 0700);
        file_ = *stateDir / "sessions.json";
        load();
    }
}

std::string Accounts::signIn(const std::string& email) {
    auto session = randomText("sess_");
    sessions_[session] = email;
    signInOrder_.push_back(session);
    while (sessions_.size() > maxSessions) {
        sessions_.erase(signInOrder_.front());
        signInOrder_.pop_front();
    }
    save();
    return session;
}

void Accounts::signOut(const std::string& session) {
    if (sessions_.erase(session)) {
        std::erase(signInOrder_, session);
        save();
    }
}

void Accounts::endAll() {
    for (const auto& [session, email] : sessions_)
        if (ended_.size() < maxSessions)
            ended_.insert(session);
    sessions_.clear();
    signInOrder_.clear();
    tokens_.clear();
    save();
}

std::optional<std::string> Accounts::emailOf(const std::string& session) const {
    const auto found = sessions_.find(session);
    if (found == sessions_.end())
        return std::nullopt;
    return found->second;
}

std::optional<std::string> Accounts::issueToken(const std::string& session) {
    if (!sessions_.contains(session))
        return std::nullopt;
    // Forget expired tokens now and then, so a long demo does not pile them up.
    const double now = clock_.now();
    std::erase_if(tokens_, [now](const auto& token) { return token.second <= now; });
    if (tokens_.size() >= maxTokens)
        tokens_.erase(std::ranges::min_element(
            tokens_, [](const auto& a, const auto& b) { return a.second < b.second; }));
    auto token = randomText("jwt_");
    tokens_[token] = now + tokenLifetime_;
    return token;
}

bool Accounts::tokenValid(const std::string& token) const {
    if (acceptToken_ && token == *acceptToken_)
        return true;
    const auto found = tokens_.find(token);
    return found != tokens_.end() && clock_.now() < found->second;
}

void Accounts::load() {
    std::ifstream in(*file_);
    if (!in)
        return;
    std::stringstream text;
    text << in.rdbuf();
    try {
        const auto document = nlohmann::json::parse(text.str());
        for (const auto& [id, email] : document.at("sessions").items())
            if (email.is_string() && sessions_.size() < maxSessions &&
                sessions_.emplace(id, email.get<std::string>()).second)
                signInOrder_.push_back(id);
    } catch (const nlohmann::json::exception&) {
        // A damaged file costs the stored sign-ins, not the start.
        std::cerr << "orvo-sim: ignoring unreadable " << file_->string() << "\n";
    }
}

void Accounts::save() const {
    if (!file_)
        return;
    nlohmann::json document{{"sessions", sessions_}};
    // Written beside the file and renamed over it, so a crash never leaves half a file.
    const auto temporary = file_->string() + ".tmp";
    {
        std::ofstream out(temporary, std::ios::trunc);
        out << document.dump(2) << "\n";
        if (!out) {
            std::cerr << "orvo-sim: cannot write " << temporary << "\n";
            return;
        }
    }
    ::chmod(temporary.c_str(), 0600);
    if (std::rename(temporary.c_str(), file_->c_str()) != 0)
        std::cerr << "orvo-sim: cannot replace " << file_->string() << "\n";
}
