// The libsoup downloader against a real HTTP server on 127.0.0.1, run in
// this process on the same main loop.
#include "download/SoupDownloader.hpp"

#include "async/GlibClock.hpp"
#include "download/WriteError.hpp"
#include "support/TempDir.hpp"

#include <dlfcn.h>
#include <fstream>
#include <gtest/gtest.h>
#include <libsoup/soup.h>
#include <map>
#include <set>
#include <sys/statvfs.h>

namespace {
// Once set, the free space every disk reports.
std::optional<std::uint64_t> freeBytes;
} // namespace

extern "C" int statvfs(const char* path, struct statvfs* disk) {
    static const auto real =
        reinterpret_cast<int (*)(const char*, struct statvfs*)>(dlsym(RTLD_NEXT, "statvfs"));
    const int result = real(path, disk);
    if (result == 0 && freeBytes)
        disk->f_bavail = *freeBytes / disk->f_frsize;
    return result;
}

namespace {

using Names = std::vector<std::string>;

// A body the downloader takes for a WAV file: it looks at the first twelve
// bytes only.
std::string wavFile(std::size_t dataBytes, char fill) {
    return "RIFF0000WAVE" + std::string(dataBytes, fill);
}

// Answers by path with a status and a body, sent whole, as two chunks, or
// trickled a byte at a time after its first chunk; a redirect names where.
class TestServer {
  public:
    struct Answer {
        guint status = 404;
        std::string body;
        bool chunked = false;
        bool trickled = false;
        std::string location;
        std::string coding; // the Content-Encoding the body is sent under
    };
    std::map<std::string, Answer> answers;
    std::vector<std::string> asked;     // every path asked for, in order
    std::set<std::string> codingsAsked; // every Accept-Encoding sent

    TestServer() : server_(soup_server_new(nullptr, nullptr)) {
        soup_server_add_handler(server_, nullptr, &TestServer::handle, this, nullptr);
        soup_server_listen_local(server_, 0, SOUP_SERVER_LISTEN_IPV4_ONLY, nullptr);
        GSList* uris = soup_server_get_uris(server_);
        port_ = g_uri_get_port(static_cast<GUri*>(uris->data));
        g_slist_free_full(uris, reinterpret_cast<GDestroyNotify>(g_uri_unref));
    }
    ~TestServer() {
        // A trickle still going when the server goes has no message left.
        for (const guint timer : trickles_)
            g_source_remove(timer);
        soup_server_disconnect(server_);
        g_object_unref(server_);
    }
    std::string url(const std::string& path, const std::string& host = "127.0.0.1") const {
        return "http://" + host + ":" + std::to_string(port_) + path;
    }
    guint port() const { return port_; }

  private:
    static void handle(SoupServer*, SoupServerMessage* message, const char* path, GHashTable*,
                       gpointer self) {
        static_cast<TestServer*>(self)->asked.push_back(path);
        const char* accepted = soup_message_headers_get_one(
            soup_server_message_get_request_headers(message), "Accept-Encoding");
        static_cast<TestServer*>(self)->codingsAsked.insert(accepted ? accepted : "(none)");
        const Answer answer = static_cast<TestServer*>(self)->answers[path];
        soup_server_message_set_status(message, answer.status, nullptr);
        if (!answer.coding.empty())
            soup_message_headers_replace(soup_server_message_get_response_headers(message),
                                         "Content-Encoding", answer.coding.c_str());
        if (!answer.location.empty())
            soup_message_headers_replace(soup_server_message_get_response_headers(message),
                                         "Location", answer.location.c_str());
        if (!answer.chunked)
            return soup_server_message_set_response(message, "audio/wav", SOUP_MEMORY_COPY,
                                                    answer.body.data(), answer.body.size());
        soup_message_headers_set_encoding(soup_server_message_get_response_headers(message),
                                          SOUP_ENCODING_CHUNKED);
        SoupMessageBody* body = soup_server_message_get_response_body(message);
        if (answer.trickled)
            return static_cast<TestServer*>(self)->trickle(message, answer.body);
        const std::size_t half = answer.body.size() / 2;
        soup_message_body_append(body, SOUP_MEMORY_COPY, answer.body.data(), half);
        soup_message_body_append(body, SOUP_MEMORY_COPY, answer.body.data() + half,
                                 answer.body.size() - half);
        soup_message_body_complete(body);
    }

    // One byte every 20 ms, until the client goes away.
    void trickle(SoupServerMessage* message, const std::string& first) {
        soup_message_body_append(soup_server_message_get_response_body(message), SOUP_MEMORY_COPY,
                                 first.data(), first.size());
        struct Trickle {
            TestServer* server;
            guint timer;
        };
        auto* trickle = new Trickle{
            this, g_timeout_add(
                      20,
                      [](gpointer data) -> gboolean {
                          auto* message = static_cast<SoupServerMessage*>(data);
                          soup_message_body_append(soup_server_message_get_response_body(message),
                                                   SOUP_MEMORY_COPY, "x", 1);
                          soup_server_message_unpause(message);
                          return G_SOURCE_CONTINUE;
                      },
                      message)};
        trickles_.insert(trickle->timer);
        g_signal_connect_data(
            message, "finished", G_CALLBACK(+[](SoupServerMessage*, gpointer data) {
                auto* trickle = static_cast<Trickle*>(data);
                if (trickle->server->trickles_.erase(trickle->timer))
                    g_source_remove(trickle->timer);
            }),
            trickle, [](gpointer data, GClosure*) { delete static_cast<Trickle*>(data); },
            GConnectFlags(0));
    }

    SoupServer* server_;
    guint port_ = 0;
    std::set<guint> trickles_;
};

// A TCP listener on 127.0.0.1 that counts the connections it accepts. With
// a trickle, each gets a status line and headers a byte every 20 ms, for two
// seconds at most, and no body.
class CountingListener {
  public:
    explicit CountingListener(bool trickle = false)
        : service_(g_socket_service_new()), trickle_(trickle) {
        port_ = g_socket_listener_add_any_inet_port(G_SOCKET_LISTENER(service_.get()), nullptr,
                                                    nullptr);
        g_signal_connect(service_.get(), "incoming", G_CALLBACK(&CountingListener::incoming), this);
        g_socket_service_start(service_.get());
    }
    ~CountingListener() {
        for (const guint timer : timers_)
            g_source_remove(timer);
        g_socket_service_stop(service_.get());
        g_socket_listener_close(G_SOCKET_LISTENER(service_.get()));
    }
    int accepted = 0;
    std::string url(const std::string& host, const std::string& path = "/never") const {
        return "http://" + host + ":" + std::to_string(port_) + path;
    }

  private:
    struct Trickle {
        GObjectRef<GSocketConnection> connection;
        std::size_t sent = 0;
    };
    static gboolean incoming(GSocketService*, GSocketConnection* connection, GObject*,
                             gpointer self) {
        auto& listener = *static_cast<CountingListener*>(self);
        ++listener.accepted;
        if (!listener.trickle_)
            return FALSE; // closed at once
        listener.trickles_.push_back({addRef(connection)});
        listener.timers_.push_back(g_timeout_add(20, &CountingListener::step, &listener));
        return TRUE;
    }
    static gboolean step(gpointer self) {
        static const std::string head = "HTTP/1.1 200 OK\r\nX-Padding: " + std::string(200, 'a');
        auto& listener = *static_cast<CountingListener*>(self);
        for (auto& trickle : listener.trickles_) {
            if (trickle.sent >= 100)
                continue; // two seconds, then silence until the client gives up
            GOutputStream* out =
                g_io_stream_get_output_stream(G_IO_STREAM(trickle.connection.get()));
            g_output_stream_write(out, head.data() + trickle.sent++, 1, nullptr, nullptr);
        }
        return G_SOURCE_CONTINUE;
    }

    GObjectRef<GSocketService> service_;
    bool trickle_;
    guint16 port_ = 0;
    std::vector<Trickle> trickles_;
    std::vector<guint> timers_;
};

// Makes the process's resolver answer test names: every name ending in
// ".orvo.example" leads to 127.0.0.1, and so do "localhost.localdomain" and
// "wav.127.0.0.1.nip.example", as a hosts file or a wildcard DNS service
// would answer. Other names, and IPv6 lookups, find nothing.
class TestResolver {
  public:
    TestResolver() : previous_(g_resolver_get_default()) {
        static GType type = registerType();
        GObjectRef<GResolver> resolver(G_RESOLVER(g_object_new(type, nullptr)));
        g_resolver_set_default(resolver.get());
    }
    ~TestResolver() {
        g_resolver_set_default(previous_);
        g_object_unref(previous_);
    }

  private:
    static GList* lookup(const char* name, GResolverNameLookupFlags flags, GError** error) {
        const std::string host(name);
        if ((flags & G_RESOLVER_NAME_LOOKUP_FLAGS_IPV6_ONLY) ||
            (!host.ends_with(".orvo.example") && host != "localhost.localdomain" &&
             host != "wav.127.0.0.1.nip.example")) {
            g_set_error(error, G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND, "no %s", name);
            return nullptr;
        }
        return g_list_append(nullptr, g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4));
    }
    static void lookupAsync(GResolver* resolver, const char* name, GResolverNameLookupFlags flags,
                            GCancellable* cancellable, GAsyncReadyCallback callback,
                            gpointer data) {
        GTask* task = g_task_new(resolver, cancellable, callback, data);
        GError* error = nullptr;
        if (GList* found = lookup(name, flags, &error))
            g_task_return_pointer(task, found, GDestroyNotify(g_resolver_free_addresses));
        else
            g_task_return_error(task, error);
        g_object_unref(task);
    }
    static GType registerType() {
        const GTypeInfo info{
            sizeof(GResolverClass),
            nullptr,
            nullptr,
            [](gpointer klass, gpointer) {
                auto* resolver = static_cast<GResolverClass*>(klass);
                resolver->lookup_by_name = [](GResolver*, const char* name, GCancellable*,
                                              GError** error) {
                    return lookup(name, G_RESOLVER_NAME_LOOKUP_FLAGS_DEFAULT, error);
                };
                resolver->lookup_by_name_with_flags =
                    [](GResolver*, const char* name, GResolverNameLookupFlags flags, GCancellable*,
                       GError** error) { return lookup(name, flags, error); };
                resolver->lookup_by_name_async = [](GResolver* resolver, const char* name,
                                                    GCancellable* cancellable,
                                                    GAsyncReadyCallback callback, gpointer data) {
                    lookupAsync(resolver, name, G_RESOLVER_NAME_LOOKUP_FLAGS_DEFAULT, cancellable,
                                callback, data);
                };
                resolver->lookup_by_name_with_flags_async = &lookupAsync;
                const auto finish = [](GResolver*, GAsyncResult* result, GError** error) {
                    return static_cast<GList*>(g_task_propagate_pointer(G_TASK(result), error));
                };
                resolver->lookup_by_name_finish = finish;
                resolver->lookup_by_name_with_flags_finish = finish;
            },
            nullptr,
            nullptr,
            sizeof(GResolver),
            0,
            nullptr,
            nullptr};
        return g_type_register_static(G_TYPE_RESOLVER, "OrvoTestResolver", &info, GTypeFlags(0));
    }

    GResolver* previous_;
};

std::string gzipped(const std::string& text) {
    GObjectRef<GConverter> gzip(
        G_CONVERTER(g_zlib_compressor_new(G_ZLIB_COMPRESSOR_FORMAT_GZIP, 9)));
    std::string out(text.size() + 1024, '\0');
    gsize read = 0, written = 0;
    g_converter_convert(gzip.get(), text.data(), text.size(), out.data(), out.size(),
                        G_CONVERTER_INPUT_AT_END, &read, &written, nullptr);
    out.resize(written);
    return out;
}

// The stand-in's origins: everything on 127.0.0.1, over plain http.
const DownloadAddressPolicy onThisComputer(Origins{"http://127.0.0.1:1", "http://127.0.0.1:2", ""});

class SoupDownloaderTest : public ::testing::Test {
  protected:
    TempDir folder;
    TestServer server;
    // A transfer that brings less than 64 KiB in a quarter second stalls.
    SoupDownloader downloader{onThisComputer, {0.25, 64 * 1024}};
    CancelSignal cancelled;
    const std::string good = wavFile(100000, 'x');

    void SetUp() override {
        server.answers["/good.wav"] = {200, good};
        server.answers["/chunked.wav"] = {200, good, true};
        server.answers["/rf64.wav"] = {200, "RF64" + good.substr(4)}; // as files over 4 GiB are
        server.answers["/missing.wav"] = {404, good}; // a WAV body under an error status
        server.answers["/short"] = {200, "RIFF"};     // whole, but shorter than a header
        server.answers["/trickle.wav"] = {200, wavFile(10, 'x'), true, true};
        // 2 MB that gzip takes down to a few KB, announced at that size.
        server.answers["/gzip.wav"] = {200,   gzipped(wavFile(2'000'000, '\0')), false, false, "",
                                       "gzip"};
    }
    void TearDown() override { freeBytes.reset(); }

    // "" when the file came, else why not.
    std::string outcome(SoupDownloader& with, const std::string& url) {
        try {
            runOnMainLoop(with.download(url, folder.path(), cancelled));
            return "";
        } catch (const std::exception& error) {
            EXPECT_TRUE(namesIn(folder.path()).empty()) << url;
            return error.what();
        }
    }
};

} // namespace

TEST_F(SoupDownloaderTest, onlyAWholeWavReplacesTheEarlierFileAndNothingElseIsLeft) {
    const std::string refused = TestServer().url("/good.wav"); // nobody listens there now
    const CountingListener slowHeaders(true);
    const std::string earlier = wavFile(5000, 'y');
    struct Case {
        std::string url;
        std::string failure; // what the error says; empty when the file is saved
        double cancelAfter = -1;
    };
    const std::vector<Case> cases{
        {server.url("/good.wav"), ""},
        {server.url("/chunked.wav"), ""},
        {server.url("/rf64.wav"), ""},
        {server.url("/missing.wav"), "HTTP status 404"},
        {server.url("/short"), "not a WAV file"},
        {refused, "transfer failed"},
        {server.url("/trickle.wav"), "stalled"},
        {slowHeaders.url("127.0.0.1"), "stalled"},
        {server.url("/gzip.wav"), "the server sent the file compressed (gzip), not as it is"},
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
        // A cancel ends the transfer at once, not at the next piece; a
        // stall, within a window or two of the request.
        EXPECT_LT(g_get_monotonic_time() - started, c.cancelAfter >= 0 ? 200'000 : 1'000'000);
        const std::string served = server.answers[c.url.substr(c.url.rfind('/'))].body;
        EXPECT_EQ(readFile(folder / "Song.wav"), c.failure.empty() ? served : earlier);
        EXPECT_EQ(namesIn(folder.path()), Names{"Song.wav"});
    }
    EXPECT_EQ(server.codingsAsked, std::set<std::string>{"identity"});
}

// Each address, and each a redirect leads to, is checked before it is asked
// for, by its text and then by the address its name resolves to. Here the
// API is plain http on this computer but the web site is not, so no host on
// this computer or the local network is fetched: the test server stands in
// for a remote host, and names that lead to this computer get no connection.
TEST_F(SoupDownloaderTest, everyHopIsCheckedAndAnUnannouncedBodyIsHeldToTheRoomLeft) {
    const DownloadAddressPolicy policy(Origins{"https://orvo.example", "http://127.0.0.1:1", ""});
    const TestResolver resolver;
    CountingListener local;
    GObjectRef<GSocketAddress> testServer(
        g_inet_socket_address_new_from_string("127.0.0.1", server.port()));
    SoupDownloader remote(policy, {0.25, 64 * 1024}, testServer.get());
    const auto files = [&](const std::string& path) {
        return server.url(path, "files.orvo.example");
    };
    const auto redirect = [&](const std::string& from, std::string to, guint status = 302) {
        server.answers[from] = {status, "moved", false, false, std::move(to)};
    };
    const std::string refusedHop = "redirect refused: the address is on this computer or the local";
    const std::string resolvedLocal = "the host name leads to 127.0.0.1, on this computer";
    redirect("/relative", "/good.wav");
    redirect("/to-loopback", server.url("/never", "127.0.0.2"));
    redirect("/to-mapped", server.url("/never", "[::ffff:127.0.0.1]"), 301);
    redirect("/to-private", "http://10.0.0.7/never", 307);
    redirect("/to-metadata", "http://169.254.169.254/never", 308);
    redirect("/to-user", server.url("/never", "user:secret@files.orvo.example"));
    redirect("/to-file", "file:///etc/passwd");
    redirect("/to-resolved-local", local.url("wav.127.0.0.1.nip.example"));
    redirect("/to-nat64", "http://[64:ff9b::7f00:1]/never");
    // A redirect whose body never ends is left unread.
    server.answers["/endless-redirect"] = {302, "moved", true, true, "/good.wav"};
    for (int hop = 1; hop <= 6; ++hop)
        redirect("/hop" + std::to_string(hop),
                 hop == 6 ? "/good.wav" : "/hop" + std::to_string(hop + 1));
    server.answers["/big-chunked.wav"] = {200, wavFile(300000, 'x'), true};
    server.answers["/big.wav"] = {200, wavFile(300000, 'x')};
    const std::string noRoom = "Not enough space on " + folder.path().string() + ": ";

    struct Case {
        std::string url;
        std::string failure; // how the error starts; empty when the file is saved
    };
    for (const Case& c : std::initializer_list<Case>{
             {files("/good.wav"), ""},
             {files("/relative"), ""},
             {files("/endless-redirect"), ""},
             {files("/hop2"), ""}, // five redirects
             {files("/hop1"), "redirect refused: more than 5 redirects"},
             {server.url("/good.wav"), "address refused: the address is on this computer"},
             {server.url("/good.wav", "localhost"), "address refused: the address is on this"},
             {server.url("/good.wav", "u:p@files.orvo.example"),
              "address refused: the address holds"},
             {files("/to-loopback"), refusedHop},
             {files("/to-mapped"), refusedHop},
             {files("/to-private"), refusedHop},
             {files("/to-metadata"), refusedHop},
             {files("/to-user"), "redirect refused: the address holds a user name or password"},
             {files("/to-file"), "redirect refused: not a web address"},
             {files("/to-nat64"), refusedHop},
             {local.url("localhost.localdomain"), "address refused: " + resolvedLocal},
             {local.url("music.orvo.example"), "address refused: " + resolvedLocal},
             {files("/to-resolved-local"), "redirect refused: " + resolvedLocal},
             // 36 blocks of 4 KiB may be filled: a body of unannounced length is
             // cut off as it passes them, one that announces more is not begun.
             {files("/chunked.wav"), ""},
             {files("/big-chunked.wav"), noRoom + "a file of unannounced length outgrew the 147.5"},
             {files("/big.wav"), noRoom + "67.4\u00a0MB needed, 67.3\u00a0MB free"},
         }) {
        freeBytes = SoupDownloader::spareBytes + 36 * 4096;
        server.asked.clear();
        const std::string failure = outcome(remote, c.url);
        EXPECT_TRUE(failure.starts_with(c.failure) && failure.empty() == c.failure.empty())
            << c.url << ": " << failure;
        EXPECT_EQ(std::count(server.asked.begin(), server.asked.end(), "/never"), 0) << c.url;
        for (const auto& name : namesIn(folder.path()))
            std::filesystem::remove(folder / name);
    }
    EXPECT_EQ(local.accepted, 0);
    // The plain http request the policy refuses when the API is on https.
    SoupDownloader secure(
        DownloadAddressPolicy(Origins{"https://orvo.example", "https://api.orvo.example", ""}),
        {0.25, 64 * 1024}, testServer.get());
    EXPECT_EQ(outcome(secure, files("/good.wav")), "address refused: plain http, not https");
}
