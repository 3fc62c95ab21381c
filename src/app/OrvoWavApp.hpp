#pragma once
#include "app/DownloadNewOptions.hpp"
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
class ProfileLock;
class UnattendedRun;

// The application: one settings store, the one Orvo page (the bridge) and
// the one download manager, kept until the process ends, and the one window
// that shows them. The window is drawn first; the page and the manager
// follow right after its first frame.
class OrvoWavApp : public Gtk::Application {
  public:
    static constexpr const char* id = "io.github.orvowav.OrvoWavDownloader";
    static constexpr const char* runEndNotice = "run-finished";

    static constexpr const char* signInNotice = "sign-in-needed";

    // unique: one process per session, which the next one started hands
    // its command line to; without a session bus there can be none.
    static Glib::RefPtr<OrvoWavApp> create(bool unique = true);
    // Answers --help, --version and unknown options without a display: the
    // exit status, or nothing when the app should start. downloadNew is set
    // for --download-new.
    static std::optional<int> answerCommandLine(int argc, char** argv,
                                                std::optional<DownloadNewOptions>* downloadNew);
    // This process draws on a private compositor nobody sees: a window
    // asked for from another process opens on that process's display.
    void setPrivateDisplay() { privateDisplay_ = true; }
    // The exit status of this process's own --download-new, once it ended.
    std::optional<int> downloadNewStatus() const { return downloadNewStatus_; }
    ~OrvoWavApp() override;

    OrvoBridge& bridge() { return *bridge_; }
    DownloadManager& manager() { return *manager_; }

  protected:
    explicit OrvoWavApp(bool unique);
    void on_startup() override;
    void on_activate() override;
    int on_command_line(const Glib::RefPtr<Gio::ApplicationCommandLine>& command) override;

  private:
    void addActions();
    // Makes the page and the manager and hands them to the window.
    void startSession();
    // Downloads what is new for a --download-new, here or in another
    // process, and answers it with the exit status.
    Task<void> downloadNew(Glib::RefPtr<Gio::ApplicationCommandLine> command,
                           DownloadNewOptions options);
    void tellRunEnd(int status, const UnattendedRun& run);
    // Keeps what a run from the window chose for the unattended runs.
    void rememberChoice(DownloadManager::Property property);
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
    // Holds the page while no window does: it is never shown.
    std::unique_ptr<Gtk::Window> hiddenPage_;
    std::unique_ptr<ProfileLock> profileLock_;
    bool unattended_ = false; // a --download-new is going in this process
    int unattendedRuns_ = 0;
    bool headless_ = false; // started with --download-new
    std::optional<int> downloadNewStatus_;
    sigc::connection choiceWatch_;
    bool privateDisplay_ = false;
    // The display of the process that asked for the window, when this one
    // draws on a private compositor.
    GdkDisplay* userDisplay_ = nullptr;
};
