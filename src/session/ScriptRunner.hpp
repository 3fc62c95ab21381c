#pragma once
#include <map>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>

#include "async/Task.hpp"

// Named text arguments of a page script; each is a variable in its body.
using ScriptArguments = std::map<std::string, std::string>;

// The web engine's report of a script that threw or rejected, or could not
// be run at all; what() carries the engine's text.
struct ScriptError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Runs the body of an async function in the signed-in page. The result is
// the resolved value as JSON (null for a script that returns nothing);
// throws ScriptError when the script rejects.
class ScriptRunner {
public:
    virtual ~ScriptRunner() = default;
    virtual Task<nlohmann::json> run(std::string script, ScriptArguments arguments) = 0;
};
