#include "session/PageScriptService.hpp"

#include "async/VirtualClock.hpp"
#include "session/BridgeError.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <variant>

namespace {

using Answer = std::variant<nlohmann::json, ScriptError>;

// Answers every script run with one result, or fails it with one engine error.
class FakeRunner final : public ScriptRunner {
  public:
    Answer answer;
    std::vector<ScriptArguments> calls;

    Task<nlohmann::json> run(std::string, ScriptArguments arguments) override {
        calls.push_back(std::move(arguments));
        if (auto* error = std::get_if<ScriptError>(&answer))
            throw *error;
        co_return std::get<nlohmann::json>(answer);
    }
};

class PageScriptServiceTest : public ::testing::Test {
  protected:
    FakeRunner runner;
    PageScriptService service{runner, "https://api.orvo.example", "https://orvo.example"};
    VirtualClock clock;

    template <typename T> T run(Answer answer, Task<T> task) {
        runner.answer = std::move(answer);
        return clock.run(std::move(task));
    }
    FeedPage feed(nlohmann::json answer) { return run(answer, service.feedPage(std::nullopt)); }
};

} // namespace

TEST_F(PageScriptServiceTest, onlyATrueAnswerMeansSignedIn) {
    EXPECT_TRUE(run(true, service.isLoggedIn()));
    for (const nlohmann::json& answer :
         {nlohmann::json("true"), nlohmann::json(1), nlohmann::json()})
        EXPECT_FALSE(run(answer, service.isLoggedIn())) << answer;
    EXPECT_THROW(run(ScriptError("page gone"), service.isLoggedIn()), ScriptError);
}

TEST_F(PageScriptServiceTest, feedReadsClipsWithTheirDefaults) {
    const FeedPage page =
        feed({{"clips",
               {{{"id", "c1"}, {"title", "Night"}, {"liked", true}, {"pid", "p1"}, {"pname", "D"}},
                {{"id", "c2"}},
                {{"id", "c3"}, {"title", nullptr}, {"liked", "yes"}, {"pid", false}, {"pname", 3}},
                {{"id", 7}, {"title", "no id"}}}},
              {"nextCursor", "n2"},
              {"hasMore", true}});
    const auto fallback = [](std::string id) {
        return RawClip{std::move(id), "Untitled", false, "", "(no workspace)"};
    };
    EXPECT_EQ(page.clips, (std::vector<RawClip>{
                              {"c1", "Night", true, "p1", "D"}, fallback("c2"), fallback("c3")}));
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
        EXPECT_THAT([&] { feed(answer); }, ::testing::ThrowsMessage<BridgeError>(message))
            << answer;
    // The engine's own errors pass on unchanged.
    EXPECT_THAT([&] { run(ScriptError("TypeError: Load failed"), service.feedPage("c")); },
                ::testing::ThrowsMessage<ScriptError>("TypeError: Load failed"));
}

// An id goes into addresses: the feed leaves out any that is empty, longer
// than 128 characters or holds a control character. Texts are cut between
// characters; a page of too many tracks or an address too long fails.
TEST_F(PageScriptServiceTest, feedKeepsOnlyUsableIdsAndAnswersAreHeldToTheirLimits) {
    const std::string e = "\u00e9";
    const auto times = [](const std::string& text, std::size_t count) {
        std::string out;
        for (std::size_t i = 0; i < count; ++i)
            out += text;
        return out;
    };
    nlohmann::json clips = nlohmann::json::array();
    for (const std::string& id :
         {std::string(128, 'a'), times(e, 128), std::string("../x?y#z"), std::string(),
          std::string(129, 'a'), times(e, 129), std::string("a\nb"), std::string("a\x7f"),
          "a" + std::string("\u0085")})
        clips.push_back({{"id", id}, {"title", "x" + times(e, 5000)}, {"pname", times("w", 4097)}});
    const FeedPage page = feed({{"clips", clips}});
    ASSERT_EQ(page.clips.size(), 3u);
    EXPECT_EQ(page.clips[1].id, times(e, 128));
    EXPECT_EQ(page.clips[2].id, "../x?y#z"); // the scripts encode it
    EXPECT_EQ(page.clips[0].title, "x" + times(e, 4095));
    EXPECT_EQ(page.clips[0].projectName, times("w", 4096));

    const nlohmann::json track = {{"id", "t"}};
    EXPECT_EQ(feed({{"clips", nlohmann::json::array_t(10'000, track)}}).clips.size(), 10'000u);
    EXPECT_THAT(
        [&] {
            feed({{"clips", nlohmann::json::array_t(10'001, track)}});
        },
        ::testing::ThrowsMessage<BridgeError>("Could not read library feed"));
    const std::string address = "https://cdn.example/" + std::string(8192 - 20, 'a');
    EXPECT_EQ(run(address, service.wavURL("a")), address);
    EXPECT_EQ(run(address + "a", service.wavURL("a")), std::nullopt);
}

// A failed conversion or prod shows only when the address is polled, so
// their engine errors are dropped; the address is a non-empty text or none.
TEST_F(PageScriptServiceTest, trackOperationsDropEngineErrorsAndReadOnlyATextAddress) {
    EXPECT_NO_THROW(run(ScriptError("TypeError"), service.convertWav("a")));
    EXPECT_NO_THROW(run(ScriptError("TypeError"), service.triggerMP3Download("a")));
    EXPECT_EQ(run("https://cdn.example/a.wav", service.wavURL("a")), "https://cdn.example/a.wav");
    for (const Answer& answer : {Answer(""), Answer(42), Answer(ScriptError("401"))})
        EXPECT_EQ(run(answer, service.wavURL("a")), std::nullopt);
}

// Each script checks location.origin first and throws the text notLoaded
// elsewhere; the bridge may refuse with the same BridgeError before running.
TEST_F(PageScriptServiceTest, pageOffTheWebOriginIsNeverSignedInAndEveryOperationRefusesIt) {
    int noticed = 0;
    service.pageNotLoaded().connect([&] { ++noticed; });
    const Answer refusal = ScriptError(PageScriptService::notLoaded);
    EXPECT_FALSE(run(refusal, service.isLoggedIn()));
    EXPECT_THAT([&] { run(refusal, service.feedPage(std::nullopt)); },
                ::testing::ThrowsMessage<BridgeError>(PageScriptService::notLoaded));
    EXPECT_EQ(run(refusal, service.wavURL("a")), std::nullopt);
    EXPECT_NO_THROW(run(refusal, service.convertWav("a")));
    EXPECT_NO_THROW(run(refusal, service.triggerMP3Download("a")));
    EXPECT_EQ(noticed, 5);
    // Every script is told the origin to check against.
    for (const auto& arguments : runner.calls)
        EXPECT_EQ(arguments.at("webOrigin"), "https://orvo.example");
    // Another thrown text is the engine's error as before.
    EXPECT_THROW(run(ScriptError("The Orvo page"), service.isLoggedIn()), ScriptError);
    EXPECT_EQ(noticed, 5);
}

TEST(PageScripts, apiOriginIsWrittenIntoEachScriptAsASafeLiteral) {
    FakeRunner runner;
    PageScriptService service{runner, R"(http://127.0.0.1:9/"x\)", "https://orvo.example"};
    for (const std::string* script :
         {&service.scripts().feedPage, &service.scripts().convertWav,
          &service.scripts().triggerMP3Download, &service.scripts().wavURL}) {
        EXPECT_NE(script->find(R"(const api = "http://127.0.0.1:9/\"x\\";)"), std::string::npos)
            << *script;
        EXPECT_EQ(script->find("{{"), std::string::npos);
    }
}
