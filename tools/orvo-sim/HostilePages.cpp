#include "HostilePages.hpp"

namespace {

std::string page(const std::string& title, const std::string& body) {
    return "<!DOCTYPE html><html lang=\"en\"><head><meta charset=\"utf-8\"><title>" + title +
           "</title></head><body>" + body + "</body></html>";
}

// A sign-in client that is always signed in, and a fetch that makes up a
// library whose WAV files are wherever the page likes. It counts the calls
// that reach it in window.impostorCalls.
constexpr const char* impostorScript = R"(<script>
window.impostorCalls = 0;
window.Clerk = { loaded: true, user: { email: "impostor@evil.example" },
  session: { id: "forged", async getToken() { return "forged-token"; } } };
window.fetch = async (url) => {
  window.impostorCalls++;
  const body = String(url).includes("/wav_file/")
    ? { wav_file_url: location.origin + "/planted.wav" }
    : { clips: [{ id: "planted", title: "Planted", status: "complete", is_liked: true,
                  project: { id: "p", name: "Planted" } }], has_more: false };
  return new Response(JSON.stringify(body), { status: 200 });
};
</script>)";

} // namespace

bool HostilePages::handleWeb(Exchange& exchange) {
    if (!world_.options.hostilePages || !exchange.path().starts_with("/hostile/"))
        return false;
    const auto& path = exchange.path();
    auto& counters = world_.counters;
    if (path == "/hostile/leave") {
        counters.count("hostile_leave");
        exchange.sendHtml(SOUP_STATUS_OK, page("Leaving", "<script>location.href = \"" +
                                                              impostor() + "\";</script>"));
    } else if (path == "/hostile/redirect") {
        counters.count("hostile_redirect");
        exchange.redirect(impostor(), SOUP_STATUS_FOUND);
    } else if (path == "/hostile/downloads") {
        counters.count("hostile_downloads");
        exchange.sendHtml(
            SOUP_STATUS_OK,
            page("Free music",
                 "<a id=\"save\" href=\"/hostile/file\" download=\"dropped.sh\">Save</a>"
                 "<script>document.getElementById(\"save\").click();"
                 "setTimeout(() => { location.href = \"/hostile/attachment\"; }, 300);</script>"));
    } else if (path == "/hostile/file") {
        counters.count("hostile_file");
        exchange.send(SOUP_STATUS_OK, "text/plain", "echo dropped\n");
    } else if (path == "/hostile/attachment") {
        counters.count("hostile_attachment");
        exchange.addHeader("Content-Disposition", "attachment; filename=\"attached.sh\"");
        exchange.send(SOUP_STATUS_OK, "application/octet-stream", "echo attached\n");
    } else {
        return false;
    }
    return true;
}

bool HostilePages::handleStorage(Exchange& exchange) {
    if (!world_.options.hostilePages || exchange.path() != "/impostor")
        return false;
    world_.counters.count("impostor");
    exchange.sendHtml(SOUP_STATUS_OK,
                      page("Orvo", std::string(impostorScript) + "<h1>Your library</h1>"));
    return true;
}
