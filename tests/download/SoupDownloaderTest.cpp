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

// Answers by path with a status and a body, sent whole or as two chunks.
class TestServer {
  public:
    struct Answer {
        guint status = 404;
        std::string body;
        bool chunked = false;
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
        const std::size_t half = answer.body.size() / 2;
        soup_message_body_append(body, SOUP_MEMORY_COPY, answer.body.data(), half);
        soup_message_body_append(body, SOUP_MEMORY_COPY, answer.body.data() + half,
                                 answer.body.size() - half);
        soup_message_body_complete(body);
    }

    SoupServer* server_;
    guint port_ = 0;
};

class SoupDownloaderTest : public ::testing::Test {
  protected:
    TempDir folder;
    TestServer server;
    SoupDownloader downloader{1};
    const std::string good = wavFile(100000, 'x');

    void SetUp() override {
        server.answers["/good.wav"] = {200, good};
        server.answers["/chunked.wav"] = {200, good, true};
        server.answers["/missing.wav"] = {404, good}; // a WAV body under an error status
        server.answers["/short"] = {200, "RIFF"};     // whole, but shorter than a header
    }
};

} // namespace

TEST_F(SoupDownloaderTest, onlyAWholeWavReplacesTheEarlierFileAndNothingElseIsLeft) {
    const std::string refused = TestServer().url("/good.wav"); // nobody listens there now
    const std::string earlier = wavFile(5000, 'y');
    const std::vector<std::pair<std::string, bool>> cases{{server.url("/good.wav"), true},
                                                          {server.url("/chunked.wav"), true},
                                                          {server.url("/missing.wav"), false},
                                                          {server.url("/short"), false},
                                                          {refused, false}};
    for (const auto& [url, saved] : cases) {
        SCOPED_TRACE(url);
        std::ofstream(folder / "Song.wav", std::ios::binary) << earlier;
        if (saved)
            EXPECT_NO_THROW(runOnMainLoop(downloader.download(url, folder / "Song.wav")));
        else
            EXPECT_THROW(runOnMainLoop(downloader.download(url, folder / "Song.wav")),
                         DownloadError);
        EXPECT_EQ(readFile(folder / "Song.wav"), saved ? good : earlier);
        EXPECT_EQ(namesIn(folder.path()), Names{"Song.wav"});
    }
}
