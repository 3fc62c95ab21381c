// The libsoup downloader against a real HTTP server on 127.0.0.1, run in
// this process on the same main loop.
#include "download/SoupDownloader.hpp"

#include "async/GlibClock.hpp"
#include "session/BridgeError.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <map>

namespace {

using Names = std::vector<std::string>;

// A PCM WAV file with the given number of data bytes.
std::string wavFile(std::uint32_t dataBytes, char fill) {
    auto le32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    return "RIFF" + le32(36 + dataBytes) + "WAVEfmt " + le32(16) + std::string("\1\0\2\0", 4) +
           le32(44100) + le32(44100 * 4) + std::string("\4\0\20\0", 4) + "data" + le32(dataBytes) +
           std::string(dataBytes, fill);
}

// Answers by path: canned responses through libsoup, or raw bytes written by
// hand on the taken-over connection, which is then closed or left hanging.
class TestServer {
  public:
    struct Raw {
        std::string bytes;
        bool hang = false;
    };
    std::map<std::string, std::pair<guint, std::string>> answers;
    std::map<std::string, Raw> raw;

    TestServer() : server_(soup_server_new(nullptr, nullptr)) {
        soup_server_add_handler(server_, nullptr, &TestServer::handle, this, nullptr);
        soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, nullptr);
        GSList* uris = soup_server_get_uris(server_);
        port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
        g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    }
    ~TestServer() {
        for (GIOStream* stream : hanging)
            g_object_unref(stream);
        soup_server_disconnect(server_);
        g_object_unref(server_);
    }
    std::string url(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(port_) + path;
    }

  private:
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                       gpointer self) {
        auto& server = *static_cast<TestServer*>(self);
        if (auto it = server.raw.find(path); it != server.raw.end()) {
            GIOStream* stream = soup_server_message_steal_connection(message);
            g_output_stream_write_all(g_io_stream_get_output_stream(stream),
                                      it->second.bytes.data(), it->second.bytes.size(), nullptr,
                                      nullptr, nullptr);
            if (it->second.hang)
                return server.hanging.push_back(stream);
            g_io_stream_close(stream, nullptr, nullptr);
            return g_object_unref(stream);
        }
        if (path == std::string("/moved.wav"))
            return soup_server_message_set_redirect(message, 302, server.url("/good.wav").c_str());
        const auto& [status, body] = server.answers[path];
        soup_server_message_set_status(message, status ? status : 404, nullptr);
        soup_server_message_set_response(message, "audio/wav", SOUP_MEMORY_COPY, body.data(),
                                         body.size());
    }

    SoupServer* server_;
    guint port_ = 0;
    std::vector<GIOStream*> hanging;
};

class SoupDownloaderTest : public ::testing::Test {
  protected:
    TempDir folder;
    TestServer server;
    SoupDownloader downloader{1}; // a one-second stall limit keeps stalls short
    const std::string good = wavFile(100000, 'x');

    void SetUp() override {
        server.answers["/good.wav"] = {200, good};
        server.answers["/other.wav"] = {200, wavFile(5000, 'y')};
        server.answers["/missing.wav"] = {404, good};
        server.answers["/page.html"] = {200, "<!doctype html><title>Not a WAV</title>"};
        server.answers["/short"] = {200, "RIFF"};
        const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100044\r\n\r\n";
        server.raw["/truncated.wav"] = {head + good.substr(0, 30000)};
        server.raw["/stalled.wav"] = {head + good.substr(0, 30000), true};
        server.raw["/silent.wav"] = {"", true};
        server.raw["/chunked.wav"] = {"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n" +
                                      chunk(good.substr(0, 70000)) + chunk(good.substr(70000)) +
                                      "0\r\n\r\n"};
    }
    static std::string chunk(const std::string& data) {
        char size[32];
        std::snprintf(size, sizeof size, "%zx\r\n", data.size());
        return size + data + "\r\n";
    }
    void fetch(const std::string& path, const std::string& name = "Song.wav") {
        runOnMainLoop(downloader.download(server.url(path), folder / name));
    }
};

} // namespace

TEST_F(SoupDownloaderTest, goodWavIsSavedWithNothingElseLeftBehind) {
    fetch("/good.wav", "a.wav");
    fetch("/chunked.wav", "b.wav");
    fetch("/moved.wav", "c.wav");
    for (const char* name : {"a.wav", "b.wav", "c.wav"})
        EXPECT_EQ(readFile(folder / name), good) << name;
    EXPECT_EQ(namesIn(folder.path()), (Names{"a.wav", "b.wav", "c.wav"}));
}

TEST_F(SoupDownloaderTest, failedTransfersLeaveNoWavAndNoTemporaryFile) {
    for (const char* path : {"/missing.wav", "/truncated.wav", "/page.html", "/short",
                             "/stalled.wav", "/silent.wav"}) {
        EXPECT_THROW(fetch(path), DownloadError) << path;
        EXPECT_TRUE(namesIn(folder.path()).empty()) << path;
    }
    const std::string refused = TestServer().url("/good.wav"); // nobody listens there now
    EXPECT_THROW(runOnMainLoop(downloader.download(refused, folder / "Song.wav")), DownloadError);
    EXPECT_THROW(runOnMainLoop(downloader.download(server.url("/good.wav"),
                                                   folder / "no such folder" / "Song.wav")),
                 DownloadError);
    EXPECT_TRUE(namesIn(folder.path()).empty());
}

TEST_F(SoupDownloaderTest, earlierFileSurvivesAFailedReplacementAndYieldsToAGoodOne) {
    fetch("/other.wav");
    const std::string earlier = readFile(folder / "Song.wav");
    for (const char* path : {"/missing.wav", "/truncated.wav", "/page.html", "/stalled.wav"}) {
        EXPECT_THROW(fetch(path), DownloadError) << path;
        EXPECT_EQ(readFile(folder / "Song.wav"), earlier) << path;
    }
    fetch("/good.wav");
    EXPECT_EQ(readFile(folder / "Song.wav"), good);
    EXPECT_EQ(namesIn(folder.path()), Names{"Song.wav"});
}

TEST_F(SoupDownloaderTest, onlyWebAddressesAreFetched) {
    std::ofstream(folder / "secret") << "RIFF0000WAVE";
    for (std::string url : {"file://" + (folder / "secret").string(), std::string("ftp://x/a.wav"),
                            std::string("no address")})
        EXPECT_THAT([&] { runOnMainLoop(downloader.download(url, folder / "Song.wav")); },
                    ::testing::ThrowsMessage<BridgeError>("bad URL"))
            << url;
    EXPECT_EQ(namesIn(folder.path()), Names{"secret"});
}
