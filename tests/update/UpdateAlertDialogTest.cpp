// The update alert as the user meets it, under Xvfb.
#include "update/UpdateAlertDialog.hpp"

#include "session/WebTestSupport.hpp"
#include "support/StandInService.hpp"
#include "ui/Browser.hpp"

#include <gtest/gtest.h>
#include <gtkmm/button.h>
#include <sigc++/adaptors/track_obj.h>

namespace {

using webtest::runUntil;
using Response = Gtk::ResponseType;

// The buttons' labels in order, with "*" after the default one.
std::string buttons(Gtk::MessageDialog& dialog) {
    std::string labels;
    for (Response response : {Response::ACCEPT, Response::CANCEL, Response::OK})
        if (auto* button = dynamic_cast<Gtk::Button*>(dialog.get_widget_for_response(response)))
            labels += (labels.empty() ? "" : " ") + button->get_label() +
                      (dialog.get_default_widget() == button ? "*" : "");
    return labels;
}

// The update alert open over the window, if any.
Gtk::MessageDialog* openAlert(Gtk::Window& parent) {
    for (Gtk::Window* window : Gtk::Window::list_toplevels())
        if (auto* dialog = dynamic_cast<Gtk::MessageDialog*>(window);
            dialog && dialog->get_transient_for() == &parent && dialog->get_visible())
            return dialog;
    return nullptr;
}

class UpdateAlertDialogTest : public ::testing::Test {
  protected:
    void SetUp() override { window.present(); }
    struct GtkReady {
        GtkReady() { webtest::initGtk(); }
    } gtkReady; // before any widget
    Gtk::Window window;
};

} // namespace

TEST_F(UpdateAlertDialogTest, onlyDownloadOpensThePageAndEveryAnswerClosesTheAlert) {
    const std::string page = "https://updates.example/download";
    struct Case {
        std::optional<std::string> download;
        const char* buttons;
        Response answer;
        bool opens;
    };
    for (const Case& c : {Case{page, "Download Later*", Response::ACCEPT, true},
                          Case{page, "Download Later*", Response::CANCEL, false},
                          Case{{}, "OK*", Response::OK, false},
                          Case{"file:///etc/passwd", "OK*", Response::OK, false}}) {
        std::vector<std::string> opened;
        Gtk::MessageDialog& dialog = UpdateChecker::showAlert(
            window, {"A new version is available", "The body.", c.download},
            [&](Gtk::Window&, const std::string& address) { opened.push_back(address); });
        EXPECT_TRUE(dialog.get_modal());
        EXPECT_EQ(dialog.property_text().get_value().raw(), "A new version is available");
        EXPECT_EQ(dialog.property_secondary_text().get_value().raw(),
                  c.opens || c.answer == Response::CANCEL
                      ? "The body. The download page is on updates.example."
                      : "The body.");
        EXPECT_EQ(buttons(dialog), c.buttons);

        sigc::slot<void()> whileAlive = sigc::track_obj([] {}, dialog);
        dialog.response(c.answer);
        EXPECT_EQ(opened, c.opens ? std::vector<std::string>{page} : std::vector<std::string>{});
        EXPECT_TRUE(runUntil([&] { return whileAlive.empty(); }, 10)) << "the alert stays";
    }
    // Nor is the browser itself ever given anything but a web page.
    for (const char* address :
         {"file:///etc/passwd", "javascript:alert(1)", "https://a.example/x y"})
        EXPECT_FALSE(Browser::open(GTK_WIDGET(window.gobj()), address)) << address;
}

// A version text with a line break and a direction override is shown as
// titles are: on one line, in its own order.
TEST_F(UpdateAlertDialogTest, hostsTextIsShownOnOneLineWithoutDirectionOverrides) {
    Gtk::MessageDialog& dialog = UpdateChecker::showAlert(
        window, {"A new version is available", "The latest is 2.0\n\u202Egnp.exe.", {}},
        [](Gtk::Window&, const std::string&) {});
    const std::string body = dialog.property_secondary_text().get_value().raw();
    EXPECT_EQ(body.find('\n'), std::string::npos) << body;
    EXPECT_EQ(body.find("\u202E"), std::string::npos) << body;
    EXPECT_NE(body.find("gnp.exe."), std::string::npos) << body;
    dialog.response(Response::OK);
}

TEST_F(UpdateAlertDialogTest, manualCheckShowsItsAnswerOverAWindowStillOpen) {
    StandInService service;
    setenv("ORVO_UPDATE_ORIGIN", service.updateOrigin().c_str(), 1);

    // A window closed while its check waits gets no alert, and nothing breaks.
    {
        Gtk::Window closing;
        closing.present();
        UpdateChecker::checkManually(closing);
    }
    ASSERT_TRUE(runUntil([&] { return service.counters()["routes"]["update"] == 1; }));
    webtest::runFor(0.5);
    EXPECT_EQ(Gtk::Window::list_toplevels().size(), 1u);

    UpdateChecker::checkManually(window);
    ASSERT_TRUE(runUntil([&] { return openAlert(window) != nullptr; }));
    EXPECT_EQ(openAlert(window)->property_text().get_value().raw(), "You’re up to date");
    openAlert(window)->response(Response::OK);
}
