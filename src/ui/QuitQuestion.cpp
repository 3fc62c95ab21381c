#include "ui/QuitQuestion.hpp"

#include "model/Translation.hpp"

#include <glibmm/main.h>

QuitQuestion::QuitQuestion(Gtk::Window& window, DownloadManager& manager,
                           std::function<void()> quit)
    : window_(window), manager_(manager), quit_(std::move(quit)) {}

QuitQuestion::~QuitQuestion() {
    stopped_.disconnect();
    deadline_.disconnect();
}

bool QuitQuestion::request() {
    if (!manager_.running() && !manager_.scanning()) {
        quitOnce();
        return false;
    }
    if (dialog_ && dialog_->get_visible()) {
        dialog_->present();
        return true;
    }
    dialog_ = std::make_unique<Gtk::MessageDialog>(
        window_, _(question), false, Gtk::MessageType::QUESTION, Gtk::ButtonsType::NONE, true);
    dialog_->set_name("quitQuestion");
    dialog_->set_secondary_text(manager_.running()
                                    ? _("Files already saved are kept. The track being "
                                        "downloaded is not.")
                                    : _("The library scan has not finished."));
    dialog_->add_button(_(stop), int(Gtk::ResponseType::ACCEPT));
    auto* keepButton = dialog_->add_button(_(keep), int(Gtk::ResponseType::CANCEL));
    dialog_->set_default_response(int(Gtk::ResponseType::CANCEL));
    dialog_->set_hide_on_close(true);
    dialog_->signal_response().connect([this](int response) { answered(response); });
    dialog_->present();
    keepButton->grab_focus();
    return true;
}

void QuitQuestion::answered(int response) {
    // The dialog is hidden now, and goes once its signal has been handled.
    dialog_->hide();
    Glib::signal_idle().connect_once([this] {
        if (dialog_ && !dialog_->get_visible())
            dialog_.reset();
    });
    if (response != int(Gtk::ResponseType::ACCEPT))
        return;
    if (!manager_.running()) { // a scan, or the run ended meanwhile
        quitOnce();
        return;
    }
    stopped_ = manager_.signalChanged().connect([this](DownloadManager::Property property) {
        if (property == DownloadManager::Property::running && !manager_.running())
            Glib::signal_idle().connect_once([this] { quitOnce(); });
    });
    deadline_ = Glib::signal_timeout().connect_seconds(
        [this] {
            quitOnce();
            return false;
        },
        stopWaitSeconds);
    manager_.cancel();
}

void QuitQuestion::quitOnce() {
    if (quitting_)
        return;
    quitting_ = true;
    stopped_.disconnect();
    deadline_.disconnect();
    if (quit_)
        quit_();
}
