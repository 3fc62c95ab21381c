#include "update/UpdateAlertDialog.hpp"

#include "download/WebAddress.hpp"
#include "ui/Browser.hpp"
#include "ui/DisplayText.hpp"

#include <glibmm/main.h>
#include <gtk/gtk.h>
#include <sigc++/adaptors/track_obj.h>

namespace {

using ShowSlot = sigc::slot<void(const UpdateAlert&)>;

// The host an address leads to, as the address names it.
std::string hostOf(const std::string& address) {
    GUri* uri = g_uri_parse(address.c_str(), G_URI_FLAGS_NONE, nullptr);
    std::string host = uri && g_uri_get_host(uri) ? g_uri_get_host(uri) : "";
    if (uri)
        g_uri_unref(uri);
    return host;
}

Task<void> checkThenShow(Task<UpdateAlert> checking, ShowSlot show) {
    const UpdateAlert alert = co_await checking;
    show(alert);
}

} // namespace

namespace UpdateChecker {

void openInBrowser(Gtk::Window& over, const std::string& address) {
    Browser::open(GTK_WIDGET(over.gobj()), address);
}

Gtk::MessageDialog& showAlert(Gtk::Window& parent, const UpdateAlert& alert, AddressOpener open) {
    // The published version comes from the update host: shown as a title is.
    auto* dialog = new Gtk::MessageDialog(parent, DisplayText::line(alert.title), false,
                                          Gtk::MessageType::INFO, Gtk::ButtonsType::NONE, true);
    const bool offersDownload = alert.download && isLinkAddress(*alert.download);
    // Where "Download" leads is said before it is pressed.
    dialog->set_secondary_text(DisplayText::line(
        alert.body +
        (offersDownload ? " The download page is on " + hostOf(*alert.download) + "." : "")));
    if (offersDownload) {
        dialog->add_button("Download", Gtk::ResponseType::ACCEPT);
        dialog->add_button("Later", Gtk::ResponseType::CANCEL);
        // Enter does not open a page the user has not read about.
        dialog->set_default_response(Gtk::ResponseType::CANCEL);
    } else {
        dialog->add_button("OK", Gtk::ResponseType::OK);
        dialog->set_default_response(Gtk::ResponseType::OK);
    }
    dialog->signal_response().connect([dialog, alert, open = std::move(open)](int response) {
        if (response == Gtk::ResponseType::ACCEPT && alert.download)
            open(*dialog, *alert.download);
        dialog->hide();
        // Not from inside its own signal: the dialog goes once the answer
        // has been handled.
        Glib::signal_idle().connect_once([dialog] { delete dialog; });
    });
    // The user asked for this answer: bring it to the front.
    dialog->present();
    return *dialog;
}

void checkManually(Gtk::Window& parent) {
    // The alert is shown only if the window is still there by then.
    ShowSlot show =
        sigc::track_obj([&parent](const UpdateAlert& alert) { showAlert(parent, alert); }, parent);
    startDetached(checkThenShow(check(), std::move(show)));
}

} // namespace UpdateChecker
