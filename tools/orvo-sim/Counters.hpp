#pragma once
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

// What the stand-in was asked, for tests to assert what the app sent:
// requests per route, per clip and route, and the bodies of feed calls.
class Counters {
  public:
    void count(const std::string& route, const std::string& clipId = {});
    void feedBody(nlohmann::json body);
    void reset();
    nlohmann::json toJson() const;

  private:
    std::map<std::string, long> routes_;
    std::map<std::string, std::map<std::string, long>> clips_;
    std::vector<nlohmann::json> feedBodies_;
};
