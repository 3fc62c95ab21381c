#pragma once
#include "manager/DownloadManager.hpp"
#include "model/Translation.hpp"

#include <functional>
#include <gtkmm/messagedialog.h>
#include <gtkmm/window.h>
#include <memory>
#include <sigc++/connection.h>

// Quitting while a scan or a download run is going is a choice. Closing
// the window or the Quit command comes here: with nothing going on the app
// quits at once; otherwise the user is asked "Stop the download and quit?".
// "Keep Downloading" (the default) changes nothing. "Stop and Quit" cancels
// the run and quits once it has stopped, which is when it has dealt with
// the file in transfer; a scan has nothing to tidy, so it quits at once.
class QuitQuestion {
  public:
    static constexpr const char* question = N_("Stop the download and quit?");
    static constexpr const char* keep = N_("Keep Downloading");
    static constexpr const char* stop = N_("Stop and Quit");
    // A run that does not stop in this time is left as it is.
    static constexpr unsigned stopWaitSeconds = 20;

    QuitQuestion(Gtk::Window& window, DownloadManager& manager, std::function<void()> quit);
    ~QuitQuestion();

    // Quits now, or asks first. Returns whether it asked.
    bool request();

    // The question while it is shown (for tests).
    Gtk::MessageDialog* dialog() {
        return dialog_ && dialog_->get_visible() ? dialog_.get() : nullptr;
    }

  private:
    void answered(int response);
    void quitOnce();

    Gtk::Window& window_;
    DownloadManager& manager_;
    std::function<void()> quit_;
    std::unique_ptr<Gtk::MessageDialog> dialog_;
    sigc::connection stopped_;
    sigc::connection deadline_;
    bool quitting_ = false;
};
