#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <variant>

#include "async/VirtualClock.hpp"
#include "session/BridgeError.hpp"
#include "session/PageScriptService.hpp"

namespace {

// Answers each script run with the next scripted result (a JSON value or an
// engine error) and remembers what it was asked to run.
class FakeRunner final : public ScriptRunner {
public:
    struct Call {
        std::string script;
        ScriptArguments arguments;
    };
    std::deque<std::variant<nlohmann::json, ScriptError>> answers;
    std::vector<Call> calls;

    Task<nlohmann::json> run(std::string script, ScriptArguments arguments) override {
        calls.push_back({std::move(script), std::move(arguments)});
        auto answer = answers.empty() ? nlohmann::json() : std::move(answers.front());
        if (!answers.empty())
            answers.pop_front();
        if (auto* error = std::get_if<ScriptError>(&answer))
            throw *error;
        co_return std::get<nlohmann::json>(answer);
    }
};

class PageScriptServiceTest : public ::testing::Test {
protected:
    FakeRunner runner;
    PageScriptService service{runner, "https://api.orvo.example"};
    VirtualClock clock;

    template <typename T> T run(Task<T> task) { return clock.run(std::move(task)); }

    FeedPage feed(nlohmann::json answer, std::optional<std::string> cursor = std::nullopt) {
        runner.answers.push_back(std::move(answer));
        return run(service.feedPage(std::move(cursor)));
    }

    std::string feedError(nlohmann::json answer) {
        try {
            feed(std::move(answer));
        } catch (const BridgeError& error) {
            return error.message();
        }
        return "no error";
    }
};

} // namespace

TEST_F(PageScriptServiceTest, signInProbeIsTheFixedExpressionAndOnlyTrueCounts) {
    runner.answers = {nlohmann::json(true), nlohmann::json("true"), nlohmann::json(1),
                      nlohmann::json(), ScriptError("page gone")};
    EXPECT_TRUE(run(service.isLoggedIn()));
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(run(service.isLoggedIn()));
    EXPECT_THROW(run(service.isLoggedIn()), ScriptError);
    EXPECT_EQ(runner.calls[0].script, "return !!(window.Clerk && window.Clerk.session);");
    EXPECT_TRUE(runner.calls[0].arguments.empty());
}

TEST_F(PageScriptServiceTest, feedSendsTheCursorAndReadsClipsWithTheirDefaults) {
    feed(nlohmann::json::object());
    const FeedPage page =
        feed({{"clips",
               {{{"id", "c1"}, {"title", "Night"}, {"liked", true}, {"pid", "p1"}, {"pname", "D"}},
                nlohmann::json::object(),
                {{"id", 7}, {"title", nullptr}, {"liked", "yes"}, {"pid", false}, {"pname", 3}}}},
              {"nextCursor", "n2"},
              {"hasMore", true}},
             "next-42");
    // No cursor asks for the first page with an empty one.
    EXPECT_EQ(runner.calls[0].arguments, (ScriptArguments{{"cursor", ""}}));
    EXPECT_EQ(runner.calls[1].arguments, (ScriptArguments{{"cursor", "next-42"}}));
    const RawClip fallback{"", "Untitled", false, "", "(no workspace)"};
    EXPECT_EQ(page.clips,
              (std::vector<RawClip>{{"c1", "Night", true, "p1", "D"}, fallback, fallback}));
    EXPECT_EQ(page.nextCursor, "n2");
    EXPECT_TRUE(page.hasMore);

    const FeedPage odd = feed({{"clips", {{{"id", "a"}}, 5}}, {"nextCursor", ""}, {"hasMore", 1}});
    EXPECT_TRUE(odd.clips.empty()); // a list that is not all objects reads as none
    EXPECT_EQ(odd.nextCursor, std::nullopt);
    EXPECT_FALSE(odd.hasMore);
    EXPECT_TRUE(feed({{"clips", "none"}}).clips.empty());
}

TEST_F(PageScriptServiceTest, feedErrorComesFirstAndOtherShapesCannotBeRead) {
    const std::pair<nlohmann::json, const char*> cases[] = {
        {{{"error", 401}}, "Feed HTTP 401"},
        {{{"error", 500}, {"clips", nlohmann::json::array()}, {"hasMore", true}}, "Feed HTTP 500"},
        {{{"error", 503.0}}, "Feed HTTP 503"},
        {{{"error", "x"}}, "Feed HTTP x"},
        {nlohmann::json(), "Could not read library feed"},
        {nlohmann::json::array(), "Could not read library feed"},
        {nlohmann::json("page"), "Could not read library feed"},
    };
    for (const auto& [answer, message] : cases)
        EXPECT_EQ(feedError(answer), message) << answer;
    // The engine's own errors pass on unchanged.
    runner.answers.push_back(ScriptError("TypeError: Load failed"));
    EXPECT_THAT([&] { run(service.feedPage(std::nullopt)); },
                ::testing::ThrowsMessage<ScriptError>("TypeError: Load failed"));
}

// The web-service tests run the track operations for real; only an odd
// result of the address script is left to see here.
TEST_F(PageScriptServiceTest, wavAddressIsOnlyANonEmptyText) {
    runner.answers = {nlohmann::json("https://cdn.example/a.wav"), nlohmann::json(""),
                      nlohmann::json(42), ScriptError("401")};
    EXPECT_EQ(run(service.wavURL("a")), "https://cdn.example/a.wav");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(run(service.wavURL("a")), std::nullopt);
}

TEST(PageScripts, apiOriginIsWrittenIntoEachScriptAsASafeLiteral) {
    FakeRunner runner;
    PageScriptService service{runner, R"(http://127.0.0.1:9/"x\)"};
    for (const std::string* script :
         {&service.scripts().feedPage, &service.scripts().convertWav,
          &service.scripts().triggerMP3Download, &service.scripts().wavURL}) {
        EXPECT_NE(script->find(R"(const api = "http://127.0.0.1:9/\"x\\";)"), std::string::npos)
            << *script;
        EXPECT_EQ(script->find("{{"), std::string::npos);
        EXPECT_NE(script->find("await window.Clerk.session.getToken()"), std::string::npos);
    }
}
