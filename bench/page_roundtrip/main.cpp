// How much the page adds to a service call: the median round trip of
// wavURL run as a page script (token from the page's client, then the API
// request) against the same API request sent natively with libsoup, both
// from this process to a local stand-in service.
//
//   bench_page_roundtrip [rounds]
#include "async/GlibClock.hpp"
#include "session/OrvoBridge.hpp"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <gtk/gtk.h>
#include <gtkmm/init.h>
#include <gtkmm/window.h>
#include <libsoup/soup.h>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr const char* benchToken = "bench-token";

double milliseconds(gint64 from, gint64 to) {
    return double(to - from) / 1000.0;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

// HOME and the XDG folders in a fresh temporary folder, so the bench never
// touches the user's own profile.
std::filesystem::path privateHome() {
    std::string pattern = (std::filesystem::temp_directory_path() / "orvo-bench-XXXXXX").string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a temporary folder");
    const std::filesystem::path root = pattern;
    for (const auto& [variable, relative] : {std::pair{"HOME", "home"},
                                             {"XDG_DATA_HOME", "home/.local/share"},
                                             {"XDG_CACHE_HOME", "home/.cache"},
                                             {"XDG_CONFIG_HOME", "home/.config"}}) {
        std::filesystem::create_directories(root / relative);
        setenv(variable, (root / relative).c_str(), 1);
    }
    return root;
}

// The stand-in service, started for this run and stopped at the end.
class StandIn {
  public:
    StandIn() {
        const char* argv[] = {ORVO_SIM_PATH, "--accept-token", benchToken, "--convert-delay",
                              "0",           "--clerk-delay",  "0",        nullptr};
        GError* error = nullptr;
        process_ = g_subprocess_newv(argv, G_SUBPROCESS_FLAGS_STDOUT_PIPE, &error);
        if (!process_)
            throw std::runtime_error(std::string("cannot start orvo-sim: ") + error->message);
        GDataInputStream* lines = g_data_input_stream_new(g_subprocess_get_stdout_pipe(process_));
        char* line = g_data_input_stream_read_line_utf8(lines, nullptr, nullptr, nullptr);
        g_object_unref(lines);
        if (!line)
            throw std::runtime_error("orvo-sim printed no origins");
        const auto origins = nlohmann::json::parse(line);
        g_free(line);
        origins_ = Origins{origins.at("web"), origins.at("api"), origins.at("update")};
    }
    ~StandIn() {
        g_subprocess_send_signal(process_, SIGTERM);
        g_subprocess_wait(process_, nullptr, nullptr);
        g_object_unref(process_);
    }
    const Origins& origins() const { return origins_; }

  private:
    GSubprocess* process_ = nullptr;
    Origins origins_;
};

// A plain request to the API with the accepted token; the body as text.
std::string plainRequest(SoupSession* session, const char* method, const std::string& url,
                         const std::string& body = {}) {
    SoupMessage* message = soup_message_new(method, url.c_str());
    const std::string authorization = std::string("Bearer ") + benchToken;
    soup_message_headers_replace(soup_message_get_request_headers(message), "Authorization",
                                 authorization.c_str());
    if (!body.empty()) {
        GBytes* bytes = g_bytes_new(body.data(), body.size());
        soup_message_set_request_body_from_bytes(message, "application/json", bytes);
        g_bytes_unref(bytes);
    }
    GError* error = nullptr;
    GBytes* answer = soup_session_send_and_read(session, message, nullptr, &error);
    g_object_unref(message);
    if (!answer)
        throw std::runtime_error(std::string("request failed: ") + error->message);
    gsize size = 0;
    const auto* data = static_cast<const char*>(g_bytes_get_data(answer, &size));
    std::string text(data ? data : "", size);
    g_bytes_unref(answer);
    return text;
}

bool waitFor(const std::function<bool()>& condition, double seconds) {
    const gint64 end = g_get_monotonic_time() + gint64(seconds * 1e6);
    while (!condition()) {
        if (g_get_monotonic_time() > end)
            return false;
        if (!g_main_context_iteration(nullptr, FALSE))
            g_usleep(1000);
    }
    return true;
}

int bench(int rounds) {
    const auto home = privateHome();
    gtk_init();
    Gtk::init_gtkmm_internals();
    StandIn standIn;
    const Origins& origins = standIn.origins();
    SoupSession* soup = soup_session_new();

    // A ready track: the first complete one, converted at once.
    const auto feed = nlohmann::json::parse(
        plainRequest(soup, "POST", origins.api + "/api/feed/v3", R"({"page":0})"));
    std::string id;
    for (const auto& clip : feed.at("clips"))
        if (clip.value("status", "") == "complete") {
            id = clip.at("id");
            break;
        }
    if (id.empty())
        throw std::runtime_error("the stand-in listed no complete track");
    const std::string wavEndpoint = origins.api + "/api/gen/" + id + "/wav_file/";
    plainRequest(soup, "POST", origins.api + "/api/gen/" + id + "/convert_wav/");

    GlibClock clock;
    OrvoBridge bridge(origins, clock, 30);
    Gtk::Window window;
    window.set_default_size(800, 600);
    window.set_child(bridge.webView());
    window.present();
    if (!waitFor([&] { return !webkit_web_view_is_loading(bridge.webKitView()); }, 30))
        throw std::runtime_error("the home page did not load");
    // Sign in through the page's form; the submit comes after the script
    // has answered, so the navigation does not cut it off.
    try {
        runOnMainLoop(bridge.runner().run(
            "document.getElementById('email').value = 'bench@orvo.example';"
            "document.getElementById('password').value = 'secret';"
            "setTimeout(() => document.getElementById('sign-in-form').submit(), 0);",
            {}));
    } catch (const ScriptError&) {
    }
    if (!waitFor([&] { return bridge.loggedIn(); }, 30))
        throw std::runtime_error("the page did not sign in");
    if (!runOnMainLoop(bridge.wavURL(id)))
        throw std::runtime_error("the page got no WAV address");

    std::vector<double> page, plain, empty, token;
    for (int round = 0; round < rounds; ++round) {
        // Interleaved, so all see the same machine load.
        gint64 start = g_get_monotonic_time();
        runOnMainLoop(bridge.runner().run("return 1;", {}));
        empty.push_back(milliseconds(start, g_get_monotonic_time()));
        start = g_get_monotonic_time();
        runOnMainLoop(bridge.runner().run("return await window.Clerk.session.getToken();", {}));
        token.push_back(milliseconds(start, g_get_monotonic_time()));
        start = g_get_monotonic_time();
        const auto address = runOnMainLoop(bridge.wavURL(id));
        page.push_back(milliseconds(start, g_get_monotonic_time()));
        start = g_get_monotonic_time();
        const auto body = plainRequest(soup, "GET", wavEndpoint);
        plain.push_back(milliseconds(start, g_get_monotonic_time()));
        if (!address || body.find("wav_file_url") == std::string::npos)
            throw std::runtime_error("a round trip lost its answer");
    }
    g_object_unref(soup);
    window.unset_child();

    const double pageMedian = median(page);
    const double plainMedian = median(plain);
    std::printf("wavURL round trip over %d calls (median)\n", rounds);
    std::printf("  through the page : %8.3f ms\n", pageMedian);
    std::printf("  plain libsoup    : %8.3f ms\n", plainMedian);
    std::printf("  ratio page/plain : %8.2f\n", pageMedian / plainMedian);
    std::printf("  added per call   : %8.3f ms (target under 5 ms)\n", pageMedian - plainMedian);
    std::printf("of which\n");
    std::printf("  empty page script: %8.3f ms\n", median(empty));
    std::printf("  token from page  : %8.3f ms\n", median(token));
    std::error_code ignored;
    std::filesystem::remove_all(home, ignored);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    // A web view needs a display: without one, start again under a private
    // X server.
    if (!std::getenv("DISPLAY") && !std::getenv("ORVO_BENCH_REEXEC")) {
        setenv("ORVO_BENCH_REEXEC", "1", 1);
        std::vector<char*> arguments{const_cast<char*>(WITH_DISPLAY_PATH), argv[0]};
        for (int i = 1; i < argc; ++i)
            arguments.push_back(argv[i]);
        arguments.push_back(nullptr);
        execv(WITH_DISPLAY_PATH, arguments.data());
        std::perror("bench_page_roundtrip: cannot start a display");
        return 1;
    }
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 200;
    try {
        return bench(rounds);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "bench_page_roundtrip: %s\n", error.what());
        return 1;
    }
}
