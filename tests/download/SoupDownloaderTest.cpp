// The libsoup downloader against a real HTTP server on 127.0.0.1, run in
// this process on the same main loop.
#include "download/SoupDownloader.hpp"

#include "async/GlibClock.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <map>

namespace {

using Names = std::vector<std::string>;

// A body the downloader takes for a WAV file: it looks at the first twelve
// bytes only.
std::string wavFile(std::size_t dataBytes, char fill) {
    return "RIFF0000WAVE" + std::string(dataBytes, fill);
}

// Answers by path with a status and a body, sent whole, as two chunks, or
// trickled a byte at a time after its first chunk.
class TestServer {
  public:
    struct Answer {
        guint status = 404;
        std::string body;
        bool chunked = false;
        bool trickled = false;
    };
    std::map<std::string, Answer> answers;

    TestServer() : server_(soup_server_new(nullptr, nullptr)) {
        soup_server_add_handler(server_, nullptr, &TestServer::handle, this, nullptr);
        soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, nullptr);
        GSList* uris = soup_server_get_uris(server_);
        port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
        g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    }
    ~TestServer() {
        soup_server_disconnect(server_);
        g_object_unref(server_);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                       gpointer self) {
        const Answer answer = static_cast<TestServer*>(self)->answers[path];
        soup_server_message_set_status(message, answer.status, nullptr);
        if (!answer.chunked)
            return soup_server_message_set_response(message, "audio/wav", SOUP_MEMORY_COPY,
                                                    answer.body.data(), answer.body.size());
        soup_message_headers_set_encoding(soup_server_message_get_response_headers(message),
                                          SOUP_ENCODING_CHUNKED);
        SoupMessageBody* body = soup_server_message_get_response_body(message);
        if (answer.trickled)
            return trickle(message, answer.body);
        const std::size_t half = answer.body.size() / 2;
        soup_message_body_append(body, SOUP_MEMORY_COPY, answer.body.data(), half);
        soup_message_body_append(body, SOUP_MEMORY_COPY, answer.body.data() + half,
                                 answer.body.size() - half);
        soup_message_body_complete(body);
    }

    // One byte every 20 ms, until the client goes away.
    static void trickle(SoupServerMessage* message, const std::string& first) {
        soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_COPY,
                                 first.data(), first.size());
        const guint timer = g_timeout_add(
            20,
            [](gpointer data) -> gboolean {
                auto* message = static_cast<SoupServerMessage*>(data);
                soup_message_body_append(soup_server_message_get_response_body(message),
                                         SOUP_MEMORY_COPY, "x", 1);
                soup_server_message_unpause(message);
                return G_SOURCE_CONTINUE;
            },
            message);
        g_signal_connect_swapped(message, "finished", G_CALLBACK(+[](gpointer id) {
                                     g_source_remove(GPOINTER_TO_UINT(id));
                                 }),
                                 GUINT_TO_POINTER(timer));
    }

    SoupServer* server_;
    guint port_ = 0;
};

class SoupDownloaderTest : public ::testing::Test {
  protected:
    TempDir folder;
    TestServer server;
    // A transfer that brings less than 64 KiB in a quarter second stalls.
    SoupDownloader downloader{{0.25, 64 * 1024}};
    CancelSignal cancelled;
    const std::string good = wavFile(100000, 'x');

    void SetUp() override {
        server.answers["/good.wav"] = {200, good};
        server.answers["/chunked.wav"] = {200, good, true};
        server.answers["/rf64.wav"] = {200, "RF64" + good.substr(4)}; // as files over 4 GiB are
        server.answers["/missing.wav"] = {404, good}; // a WAV body under an error status
        server.answers["/short"] = {200, "RIFF"};     // whole, but shorter than a header
        server.answers["/trickle.wav"] = {200, wavFile(10, 'x'), true, true};
    }
};

} // namespace

TEST_F(SoupDownloaderTest, onlyAWholeWavReplacesTheEarlierFileAndNothingElseIsLeft) {
    const std::string refused = TestServer().url("/good.wav"); // nobody listens there now
    const std::string earlier = wavFile(5000, 'y');
    struct Case {
        std::string url;
        std::string failure; // what the error says; empty when the file is saved
        double cancelAfter = -1;
    };
    const std::vector<Case> cases{{server.url("/good.wav"), ""},
                                  {server.url("/chunked.wav"), ""},
                                  {server.url("/rf64.wav"), ""},
                                  {server.url("/missing.wav"), "HTTP status 404"},
                                  {server.url("/short"), "not a WAV file"},
                                  {refused, "transfer failed"},
                                  {server.url("/trickle.wav"), "stalled"},
                                  {server.url("/trickle.wav"), "cancelled", 0.05}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.url + " " + c.failure);
        std::ofstream(folder / "Song.wav", std::ios::binary) << earlier;
        if (c.cancelAfter >= 0) {
            g_timeout_add(
                guint(c.cancelAfter * 1000),
                [](gpointer signal) -> gboolean {
                    static_cast<CancelSignal*>(signal)->emit();
                    return G_SOURCE_REMOVE;
                },
                &cancelled);
        }
        const auto started = g_get_monotonic_time();
        try {
            PartFile part = runOnMainLoop(downloader.download(c.url, folder.path(), cancelled));
            part.replace("Song.wav");
            EXPECT_EQ(c.failure, "");
        } catch (const DownloadError& error) {
            EXPECT_NE(c.failure, "");
            EXPECT_TRUE(std::string(error.what()).starts_with(c.failure)) << error.what();
        }
        // A cancel ends the transfer at once, not at the next piece.
        if (c.cancelAfter >= 0) {
            EXPECT_LT(g_get_monotonic_time() - started, 200'000);
        }
        const std::string served = server.answers[c.url.substr(c.url.rfind('/'))].body;
        EXPECT_EQ(readFile(folder / "Song.wav"), c.failure.empty() ? served : earlier);
        EXPECT_EQ(namesIn(folder.path()), Names{"Song.wav"});
    }
}
