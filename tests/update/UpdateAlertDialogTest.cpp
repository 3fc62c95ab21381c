// The update alert as the user meets it, under Xvfb.
#include "update/UpdateAlertDialog.hpp"

#include "session/WebTestSupport.hpp"
#include "support/StandInService.hpp"

#include <gtest/gtest.h>
#include <gtkmm/button.h>
#include <sigc++/adaptors/track_obj.h>

namespace {

using webtest::runUntil;

std::string buttonLabel(Gtk::MessageDialog& dialog, Gtk::ResponseType response) {
    auto* button = dynamic_cast<Gtk::Button*>(dialog.get_widget_for_response(response));
    return button ? std::string(button->get_label()) : std::string("(none)");
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
    std::vector<std::string> opened;
    UpdateChecker::AddressOpener opener = [this](Gtk::Window&, const std::string& address) {
        opened.push_back(address);
    };
};

} // namespace

TEST_F(UpdateAlertDialogTest, downloadOpensThePageAndLaterDoesNothing) {
    const UpdateAlert alert{"A new version is available",
                            "You have version 1.0.0. The latest is 2.0.",
                            "https://updates.example/download"};
    for (const auto& [response, opens] : {std::pair{Gtk::ResponseType::ACCEPT, true},
                                          std::pair{Gtk::ResponseType::CANCEL, false}}) {
        opened.clear();
        Gtk::MessageDialog& dialog = UpdateChecker::showAlert(window, alert, opener);
        EXPECT_TRUE(dialog.get_modal());
        EXPECT_EQ(dialog.property_text().get_value().raw(), alert.title);
        EXPECT_EQ(dialog.property_secondary_text().get_value().raw(), alert.body);
        EXPECT_EQ(buttonLabel(dialog, Gtk::ResponseType::ACCEPT), "Download");
        EXPECT_EQ(buttonLabel(dialog, Gtk::ResponseType::CANCEL), "Later");
        EXPECT_EQ(dialog.get_default_widget(),
                  dialog.get_widget_for_response(Gtk::ResponseType::ACCEPT));

        bool gone = false;
        sigc::slot<void()> whileAlive = sigc::track_obj([] {}, dialog);
        dialog.response(response);
        EXPECT_EQ(opened,
                  opens ? std::vector<std::string>{*alert.download} : std::vector<std::string>{});
        ASSERT_TRUE(runUntil([&] { return gone = whileAlive.empty(); }, 10)) << "never freed";
        EXPECT_TRUE(gone);
    }
}

TEST_F(UpdateAlertDialogTest, alertWithoutAWebPageHasOnlyOk) {
    for (const std::optional<std::string>& download :
         {std::optional<std::string>(), std::optional<std::string>("file:///etc/passwd")}) {
        opened.clear();
        Gtk::MessageDialog& dialog = UpdateChecker::showAlert(
            window, {"A new version is available", "body", download}, opener);
        EXPECT_EQ(buttonLabel(dialog, Gtk::ResponseType::OK), "OK");
        EXPECT_EQ(buttonLabel(dialog, Gtk::ResponseType::ACCEPT), "(none)");
        EXPECT_EQ(buttonLabel(dialog, Gtk::ResponseType::CANCEL), "(none)");
        dialog.response(Gtk::ResponseType::OK);
        EXPECT_TRUE(opened.empty());
        runUntil([&] { return !openAlert(window); }, 10);
    }
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
    openAlert(window)->response(Gtk::ResponseType::OK);
}
