// The script runner in a real web view, on a page of the test's own.
#include "session/WebViewScriptRunner.hpp"

#include "WebTestSupport.hpp"
#include "async/GLibRef.hpp"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace {

constexpr const char* testPage = R"(<!doctype html><html><body><p id="greeting">hello</p>
<script>window.pageVar = 42; window.lateAnswers = 0;</script></body></html>)";

class WebViewScriptRunnerTest : public ::testing::Test {
  protected:
    void SetUp() override {
        webtest::initGtk();
        view.reset(WEBKIT_WEB_VIEW(g_object_ref_sink(webkit_web_view_new())));
        host = std::make_unique<webtest::HostWindow>(*Glib::wrap(GTK_WIDGET(view.get())));
        webkit_web_view_load_html(view.get(), testPage, nullptr);
        ASSERT_TRUE(webtest::runUntil([&] { return !webkit_web_view_is_loading(view.get()); }));
    }

    nlohmann::json run(WebViewScriptRunner& runner, std::string script,
                       ScriptArguments arguments = {}) {
        return runOnMainLoop(runner.run(std::move(script), std::move(arguments)));
    }

    std::string failure(WebViewScriptRunner& runner, std::string script,
                        ScriptArguments arguments = {}) {
        try {
            const auto result = run(runner, std::move(script), std::move(arguments));
            return "no error, result " + result.dump();
        } catch (const ScriptError& error) {
            return error.what();
        }
    }

    GObjectRef<WebKitWebView> view;
    std::unique_ptr<webtest::HostWindow> host; // goes first, taking the view out of its window
};

} // namespace

TEST_F(WebViewScriptRunnerTest, scriptsSeeThePageAndTheirArgumentsAndAnswerAsJson) {
    WebViewScriptRunner runner(view.get());
    EXPECT_EQ(run(runner, "return {status: 401, ok: false, list: [1, 'a', null], n: 1.5};"),
              nlohmann::json::parse(R"({"status":401,"ok":false,"list":[1,"a",null],"n":1.5})"));
    EXPECT_TRUE(run(runner, "return 401;").is_number_integer());
    EXPECT_TRUE(run(runner, "const x = 1;").is_null());
    EXPECT_EQ(run(runner, "await new Promise(r => setTimeout(r, 5)); return window.pageVar;"), 42);
    EXPECT_EQ(run(runner, "return document.getElementById('greeting').textContent;"), "hello");
    ScriptArguments arguments{{"id", "a\"b'c\\ — ✓"}, {"cursor", ""}};
    EXPECT_EQ(run(runner, "return [id, cursor, typeof id];", arguments),
              nlohmann::json::parse(R"(["a\"b'c\\ — ✓", "", "string"])"));
}

TEST_F(WebViewScriptRunnerTest, rejectionsAndExceptionsCarryTheEnginesText) {
    WebViewScriptRunner runner(view.get());
    EXPECT_EQ(failure(runner, "throw new Error('boom');"), "Error: boom");
    EXPECT_EQ(failure(runner, "return Promise.reject('plain reason');"), "plain reason");
    // A value with no JSON form is an error too, not a crash or a null.
    EXPECT_NE(failure(runner, "return document.body;").find("nsupported"), std::string::npos);
    // An argument that is not text fails without reaching the page.
    EXPECT_EQ(failure(runner, "return id;", {{"id", "\xff\xfe"}}),
              "Script argument is not valid text");
    EXPECT_EQ(failure(runner, "return id;", {{"id", std::string("a\0b", 3)}}),
              "Script argument is not valid text");
    // An answer over 16 MiB of JSON text fails as one that cannot be read.
    EXPECT_EQ(run(runner, "return 'x'.repeat(16 * 1024 * 1024 - 2);").get<std::string>().size(),
              16u * 1024 * 1024 - 2);
    EXPECT_EQ(failure(runner, "return 'x'.repeat(16 * 1024 * 1024 - 1);"),
              "The page script's result could not be read");
    // The runner still works after failures.
    EXPECT_EQ(run(runner, "return 1;"), 1);
}

TEST_F(WebViewScriptRunnerTest, answerAfterTheTimeOutIsIgnored) {
    WebViewScriptRunner runner(view.get(), 0.1);
    const std::string late = "await new Promise(r => setTimeout(r, 400));"
                             "window.lateAnswers++; return 'late';";
    EXPECT_EQ(failure(runner, late), "The page script did not finish within 0.1 seconds");
    // The late answer comes while the next call is waiting; it must not be
    // taken for that call's answer.
    WebViewScriptRunner patient(view.get());
    EXPECT_EQ(
        run(patient, "await new Promise(r => setTimeout(r, 800)); return window.lateAnswers;"), 1);
}

TEST_F(WebViewScriptRunnerTest, callPendingWhenThePageNavigatesFailsAtOnce) {
    WebViewScriptRunner runner(view.get()); // the full 90 s: only the navigation can end it
    auto pending = runner.run("await new Promise(() => {});", {});
    pending.resume();
    webkit_web_view_load_html(view.get(), "<p>another page</p>", nullptr);
    ASSERT_TRUE(webtest::runUntil([&] { return pending.done(); }));
    EXPECT_THAT([&] { pending.result(); },
                ::testing::ThrowsMessage<ScriptError>(
                    "The page navigated away before the script finished"));
    ASSERT_TRUE(webtest::runUntil([&] { return !webkit_web_view_is_loading(view.get()); }));
    EXPECT_EQ(run(runner, "return document.body.textContent;"), "another page");
}

TEST_F(WebViewScriptRunnerTest, neitherAVanishedCallerNorAVanishedRunnerHangsOrCrashes) {
    auto runner = std::make_unique<WebViewScriptRunner>(view.get());
    {
        auto abandoned = runner->run(
            "await new Promise(r => setTimeout(r, 50)); window.lateAnswers++; return 1;", {});
        abandoned.resume();
    } // the caller goes while it waits: it must not be resumed
    ASSERT_TRUE(webtest::runUntil([&] { return run(*runner, "return window.lateAnswers;") == 1; }));

    auto pending = runner->run("await new Promise(() => {});", {});
    pending.resume();
    runner.reset(); // the runner goes: its pending call fails instead of hanging
    ASSERT_TRUE(webtest::runUntil([&] { return pending.done(); }));
    EXPECT_THROW(pending.result(), ScriptError);
}
