#include "session/PagePolicy.hpp"

#include "download/WebAddress.hpp"
#include "model/Translation.hpp"

#include <glib.h>

namespace {

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
    return text.size() >= prefix.size() &&
           g_ascii_strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

} // namespace

std::string_view PagePolicy::unwrapBlob(std::string_view address) {
    // blob:https://host/uuid belongs to https://host, whose script made it.
    return startsWithNoCase(address, "blob:") ? address.substr(5) : address;
}

bool PagePolicy::blank(std::string_view address) {
    return address == "about:blank" || address == "about:srcdoc";
}

bool PagePolicy::onServiceOrigin(std::string_view address) const {
    const std::string_view inner = unwrapBlob(address);
    return isWebAddress(inner) && origins_.isService(inner);
}

bool PagePolicy::pageMayShow(std::string_view address) const {
    return blank(address) || onServiceOrigin(address);
}

PagePolicy::Verdict PagePolicy::navigation(std::string_view target, bool clickedLink,
                                           bool signedIn) const {
    if (pageMayShow(target))
        return Verdict::allow;
    if (clickedLink && isLinkAddress(target))
        return Verdict::openInBrowser;
    // A captcha or a provider's button in a frame of the sign-in page loads
    // from its own site; the page itself may not follow it there.
    if (!signedIn && isWebAddress(target))
        return Verdict::frameOnly;
    return Verdict::ignore;
}

PagePolicy::Verdict PagePolicy::window(const WindowRequest& request) const {
    const bool fromService = request.openerOrigin && onServiceOrigin(*request.openerOrigin);
    const bool toService = onServiceOrigin(request.target);
    // A blank window is written by whoever opened it, and would be empty.
    const bool blankTarget = request.target.empty() || blank(request.target);
    if (fromService && request.userGesture && !request.signedIn && request.open < maxPopups &&
        (toService || blankTarget))
        return Verdict::allow;
    if (request.clickedLink && isLinkAddress(request.target) && !toService)
        return Verdict::openInBrowser;
    return Verdict::ignore;
}

std::string PagePolicy::hostOf(std::string_view address) {
    const std::string text(unwrapBlob(address));
    GUri* parsed = g_uri_parse(text.c_str(), G_URI_FLAGS_NONE, nullptr);
    std::string host = parsed && g_uri_get_host(parsed) ? g_uri_get_host(parsed) : "";
    if (parsed)
        g_uri_unref(parsed);
    return host;
}

std::string PagePolicy::popupTitle(std::string_view address) {
    const std::string host = hostOf(address);
    return host.empty() ? std::string(_("Sign in"))
                        // Translators: the title of a sign-in window; {host} is a web site's name.
                        : Translation::fill(_("Sign in — {host}"), {{"host", host}});
}
