#pragma once
#include "async/GlibClock.hpp"
#include "download/SoupDownloader.hpp"
#include "manager/DownloadManager.hpp"
#include "manager/KeyFileSettings.hpp"
#include "session/OrvoBridge.hpp"
#include "ui/QuitQuestion.hpp"

#include <giomm/simpleaction.h>
#include <gtkmm/application.h>
#include <memory>
#include <optional>
#include <sigc++/connection.h>

class MainWindow;

// The application: one settings store, the one Orvo page (the bridge) and
// the one download manager, kept until the process ends, and the one window
// that shows them. The window is drawn first; the page and the manager
// follow right after its first frame.
class OrvoWavApp : public Gtk::Application {
  public:
    static constexpr const char* id = "io.github.orvowav.OrvoWavDownloader";
    static constexpr const char* runEndNotice = "run-finished";

    static Glib::RefPtr<OrvoWavApp> create();
    // Answers --help, --version and unknown options without a display: the
    // exit status, or nothing when the app should start.
    static std::optional<int> answerCommandLine(int argc, char** argv);
    ~OrvoWavApp() override;

    OrvoBridge& bridge() { return *bridge_; }
    DownloadManager& manager() { return *manager_; }

  protected:
    OrvoWavApp();
    void on_startup() override;
    void on_activate() override;

  private:
    void addActions();
    // Makes the page and the manager and hands them to the window.
    void startSession();
    void showAbout();
    void showShortcuts();
    void checkForUpdates();
    void notifyWhenRunEnds(DownloadManager::Property property);
    // Asks first; then the page's site data, library.json and the library
    // go, and the window shows the sign-in view.
    void confirmSignOut();
    Task<void> signOut();
    // Keeps the computer from suspending or logging out during a run.
    void holdSessionWhileRunning(DownloadManager::Property property);
    // Quits, or asks first while a scan or a run is going.
    bool requestQuit();

    GlibClock clock_;
    std::unique_ptr<KeyFileSettings> settings_;
    std::unique_ptr<SoupDownloader> downloader_;
    std::unique_ptr<OrvoBridge> bridge_;
    std::unique_ptr<DownloadManager> manager_;
    std::unique_ptr<MainWindow> window_;
    std::unique_ptr<QuitQuestion> quitQuestion_;
    sigc::connection runWatch_;
    sigc::connection busyWatch_;
    sigc::connection sessionWatch_;
    Glib::RefPtr<Gio::SimpleAction> signOutAction_;
    sigc::connection sessionHold_;
    guint inhibitCookie_ = 0;
};
