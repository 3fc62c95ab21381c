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

// A frame of another site on the sign-in page (an ad, say) that asks for a
// window every way it can, again every two seconds, with no click: a blank
// one it writes a password form into, one on its own site, a blob: one, a
// target=_blank link it clicks itself and a data: one.
constexpr const char* frameScript = R"(<script>
const form = "<title>Sign in</title><h1>Sign in to Orvo</h1>" +
  "<form><input type=\"email\"><input type=\"password\"><button>Sign in</button></form>";
let round = 0;
function attack() {
  round++;
  const blank = window.open("", "_blank");
  if (blank) blank.document.write(form);
  window.open(location.origin + "/hostile/frame-window?open=" + round);
  window.open(URL.createObjectURL(new Blob([form], { type: "text/html" })));
  const link = document.createElement("a");
  link.href = location.origin + "/hostile/frame-window?link=" + round;
  link.target = "_blank";
  document.body.append(link);
  link.click();
  window.open("data:text/html," + encodeURIComponent(form));
}
attack();
setInterval(attack, 2000);
</script>)";

// A frame that sends the page it sits in elsewhere: to a look-alike of the
// sign-in page on its own site (?to=page) or to a blank page (?to=blank), at
// once or on the first click in it (?click=1). Across sites a browser lets a
// frame do this only after a click in it.
constexpr const char* frameTopScript = R"(<script>
const params = new URLSearchParams(location.search);
const target = params.get("to") === "blank" ? "about:blank" : location.origin + "/hostile/takeover";
const go = () => { top.location = target; };
if (params.get("click")) document.addEventListener("click", go); else go();
</script>)";

// The look-alike: it claims the app's own sign-in, and stops every load
// that would take it away.
constexpr const char* takeoverScript = R"(<script>
window.takenOver = true;
setInterval(() => window.stop(), 5);
</script>)";

// A frame that asks for a window on the web origin (?web=) with
// window.open and with a form it submits to target=_blank: every second
// with no click, or on each click in it (?click=1).
constexpr const char* frameOpenScript = R"(<script>
const params = new URLSearchParams(location.search);
const web = params.get("web");
function attack() {
  window.open(web + "/?opened-by=frame");
  const form = document.createElement("form");
  form.action = web + "/";
  form.target = "_blank";
  document.body.append(form);
  form.submit();
}
if (params.get("click")) document.addEventListener("click", attack);
else { attack(); setInterval(attack, 1000); }
</script>)";

// The whole frame is a button, so a click anywhere in it lands in it.
constexpr const char* frameButton =
    "<button style=\"position:fixed;inset:0;width:100%;height:100%\">Play</button>";

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
    const auto& path = exchange.path();
    auto& counters = world_.counters;
    if (world_.options.hostileSignIn && path == "/hostile/frame") {
        counters.count("hostile_frame");
        exchange.sendHtml(SOUP_STATUS_OK,
                          page("Offers", std::string(frameScript) + "<p>Offers</p>"));
        return true;
    }
    if (world_.options.hostileSignIn && path == "/hostile/frame-window") {
        counters.count("hostile_frame_window");
        exchange.sendHtml(SOUP_STATUS_OK,
                          page("Sign in", "<form><input type=\"password\"></form>"));
        return true;
    }
    if (world_.options.hostileSignIn && path == "/hostile/frame-top") {
        counters.count("hostile_frame_top");
        exchange.sendHtml(SOUP_STATUS_OK,
                          page("Offers", std::string(frameTopScript) + frameButton));
        return true;
    }
    if (world_.options.hostileSignIn && path == "/hostile/takeover") {
        counters.count("hostile_takeover");
        exchange.sendHtml(SOUP_STATUS_OK,
                          page("Sign in", std::string(takeoverScript) +
                                              "<h1>Sign in to your Orvo account</h1>"
                                              "<form><input type=\"password\"></form>"));
        return true;
    }
    if (world_.options.hostileSignIn && path == "/hostile/frame-open") {
        counters.count("hostile_frame_open");
        exchange.sendHtml(SOUP_STATUS_OK,
                          page("Offers", std::string(frameOpenScript) + frameButton));
        return true;
    }
    if (world_.options.signInRedirect && path == "/accounts/sign-in") {
        counters.count("accounts_sign_in");
        exchange.sendHtml(SOUP_STATUS_OK,
                          page("Sign in", "<h1>Your session has ended</h1><p>Sign in again.</p>"));
        return true;
    }
    if (!world_.options.hostilePages || path != "/impostor")
        return false;
    world_.counters.count("impostor");
    exchange.sendHtml(SOUP_STATUS_OK,
                      page("Orvo", std::string(impostorScript) + "<h1>Your library</h1>"));
    return true;
}
