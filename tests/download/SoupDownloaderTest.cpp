// The libsoup downloader against a real HTTP server on 127.0.0.1, run in
// this process on the same main loop.
#include "download/SoupDownloader.hpp"

#include "async/GlibClock.hpp"
#include "session/BridgeError.hpp"
#include "support/TempDir.hpp"

#include <fstream>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <map>

namespace {

// A valid PCM WAV file of the given number of data bytes.
std::string wavFile(std::size_t dataBytes, char fill = 'x') {
    auto le32 = [](std::uint32_t v) {
        return std::string{char(v), char(v >> 8), char(v >> 16), char(v >> 24)};
    };
    std::string wav = "RIFF" + le32(std::uint32_t(36 + dataBytes)) + "WAVEfmt " + le32(16);
    wav += std::string("\x01\x00\x02\x00", 4) + le32(44100) + le32(44100 * 4) +
           std::string("\x04\x00\x10\x00", 4);
    wav += "data" + le32(std::uint32_t(dataBytes)) + std::string(dataBytes, fill);
    return wav;
}

class TestServer {
  public:
    // Canned answers by path; raw ones are written by hand on the stolen
    // connection and, unless close is set, left hanging.
    struct Raw {
        std::string bytes;
        bool close = true;
    };
    std::map<std::string, std::pair<guint, std::string>> answers;
    std::map<std::string, Raw> raw;
    std::vector<GIOStream*> held;

    TestServer() : server_(soup_server_new(nullptr, nullptr)) {
        soup_server_add_handler(server_, nullptr, &TestServer::handle, this, nullptr);
        GError* error = nullptr;
        if (!soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, &error))
            throw std::runtime_error(error->message);
        GSList* uris = soup_server_get_uris(server_);
        port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
        g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    }
    ~TestServer() {
        for (GIOStream* stream : held) {
            g_io_stream_close(stream, nullptr, nullptr);
            g_object_unref(stream);
        }
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
            GOutputStream* out = g_io_stream_get_output_stream(stream);
            g_output_stream_write_all(out, it->second.bytes.data(), it->second.bytes.size(),
                                      nullptr, nullptr, nullptr);
            if (it->second.close) {
                g_io_stream_close(stream, nullptr, nullptr);
                g_object_unref(stream);
            } else {
                server.held.push_back(stream);
            }
            return;
        }
        if (std::string(path) == "/moved.wav") {
            soup_server_message_set_redirect(message, 302, server.url("/good.wav").c_str());
            return;
        }
        auto it = server.answers.find(path);
        if (it == server.answers.end()) {
            soup_server_message_set_status(message, 404, nullptr);
            return;
        }
        soup_server_message_set_status(message, it->second.first, nullptr);
        soup_server_message_set_response(message, "audio/wav", SOUP_MEMORY_COPY,
                                         it->second.second.data(), it->second.second.size());
    }

    SoupServer* server_;
    guint port_ = 0;
};

std::string readFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> namesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

class SoupDownloaderTest : public ::testing::Test {
  protected:
    TempDir folder;
    TestServer server;
    // A one-second stall limit keeps the stalled-server cases short.
    SoupDownloader downloader{1};
    const std::string good = wavFile(100000);

    void SetUp() override {
        server.answers["/good.wav"] = {200, good};
        server.answers["/other.wav"] = {200, wavFile(5000, 'y')};
        server.answers["/missing.wav"] = {404, good};
        server.answers["/server-error.wav"] = {500, good};
        server.answers["/page.html"] = {200, "<!doctype html><title>Not a WAV</title>"};
        server.answers["/tiny"] = {200, "RIFF"};
        server.raw["/truncated.wav"] = {"HTTP/1.1 200 OK\r\nContent-Length: 100044\r\n\r\n" +
                                        good.substr(0, 30000)};
        server.raw["/stalled.wav"] = {
            "HTTP/1.1 200 OK\r\nContent-Length: 100044\r\n\r\n" + good.substr(0, 30000), false};
        server.raw["/silent.wav"] = {"", false};
        server.raw["/chunked.wav"] = {
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" +
            chunk(good.substr(0, 70000)) + chunk(good.substr(70000)) + "0\r\n\r\n"};
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
    fetch("/good.wav");
    EXPECT_EQ(readFile(folder / "Song.wav"), good);
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"Song.wav"});
}

TEST_F(SoupDownloaderTest, chunkedAndRedirectedWavsAreSavedToo) {
    fetch("/chunked.wav", "a.wav");
    fetch("/moved.wav", "b.wav");
    EXPECT_EQ(readFile(folder / "a.wav"), good);
    EXPECT_EQ(readFile(folder / "b.wav"), good);
    EXPECT_EQ(namesIn(folder.path()), (std::vector<std::string>{"a.wav", "b.wav"}));
}

TEST_F(SoupDownloaderTest, failedTransfersLeaveNoWavAndNoTemporaryFile) {
    for (const char* path : {"/missing.wav", "/server-error.wav", "/truncated.wav", "/page.html",
                             "/tiny", "/stalled.wav", "/silent.wav"}) {
        EXPECT_THROW(fetch(path), DownloadError) << path;
        EXPECT_TRUE(namesIn(folder.path()).empty()) << path;
    }
    // Nobody listening.
    TestServer* gone = new TestServer;
    const std::string refused = gone->url("/good.wav");
    delete gone;
    EXPECT_THROW(runOnMainLoop(downloader.download(refused, folder / "Song.wav")), DownloadError);
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
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"Song.wav"});
}

TEST_F(SoupDownloaderTest, onlyWebAddressesAreFetched) {
    std::ofstream(folder / "secret") << "RIFF\0\0\0\0WAVE";
    for (std::string url : {"file://" + (folder / "secret").string(), std::string("ftp://x/a.wav"),
                            std::string("no address")}) {
        try {
            runOnMainLoop(downloader.download(url, folder / "Song.wav"));
            ADD_FAILURE() << url;
        } catch (const BridgeError& error) {
            EXPECT_EQ(error.message(), "bad URL");
        }
    }
    EXPECT_FALSE(std::filesystem::exists(folder / "Song.wav"));
}

TEST_F(SoupDownloaderTest, folderThatCannotTakeTheFileFailsCleanly) {
    EXPECT_THROW(runOnMainLoop(downloader.download(server.url("/good.wav"),
                                                   folder / "missing folder" / "Song.wav")),
                 DownloadError);
    std::filesystem::create_directory(folder / "Song.wav");
    EXPECT_THROW(fetch("/good.wav"), DownloadError);
    EXPECT_EQ(namesIn(folder.path()), std::vector<std::string>{"Song.wav"});
    EXPECT_TRUE(std::filesystem::is_directory(folder / "Song.wav"));
}
