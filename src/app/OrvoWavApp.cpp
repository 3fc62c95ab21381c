#include "app/OrvoWavApp.hpp"

#include "app/MainWindow.hpp"
#include "app/ProfileLock.hpp"
#include "app/UnattendedRun.hpp"
#include "manager/AppFolders.hpp"
#include "manager/LastRunChoice.hpp"
#include "manager/UnattendedLog.hpp"
#include "model/Translation.hpp"
#include "ui/Browser.hpp"
#include "ui/ControlPanel.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"
#include "ui/Theme.hpp"
#include "update/UpdateAlertDialog.hpp"

#include <giomm/notification.h>
#include <giomm/simpleaction.h>
#include <glibmm/main.h>
#include <glibmm/miscutils.h>
#include <gtkmm/aboutdialog.h>
#include <gtkmm/messagedialog.h>
#include <iostream>
#include <string_view>
#include <unistd.h>

// The keyboard shortcuts window (shortcuts.ui).
namespace AppInterface {
extern const std::string_view shortcuts;
}

Glib::RefPtr<OrvoWavApp> OrvoWavApp::create(bool unique) {
    return Glib::make_refptr_for_instance<OrvoWavApp>(new OrvoWavApp(unique));
}

namespace {

// The options of --download-new, which the app reads as it starts and again
// when another process hands its command line over.
void addDownloadNewOptions(Gio::Application& app) {
    app.add_main_option_entry(Gio::Application::OptionType::BOOL, "download-new", '\0',
                              _("Download the tracks not saved yet, with no window, and exit"));
    app.add_main_option_entry(Gio::Application::OptionType::FILENAME, "destination", '\0',
                              _("With --download-new: save into DIR instead of the last folder"),
                              _("DIR"));
    app.add_main_option_entry(
        Gio::Application::OptionType::BOOL, "all-workspaces", '\0',
        _("With --download-new: every workspace, not only those chosen last"));
}

// The --download-new in the options, if any; none with a message in why
// when the rest of the command line does not go with it.
std::optional<DownloadNewOptions> downloadNewIn(const Glib::RefPtr<Glib::VariantDict>& given,
                                                const std::string& folder, std::string& why) {
    const bool asked = given->contains("download-new");
    if (!asked && (given->contains("destination") || given->contains("all-workspaces")))
        why = _("--destination and --all-workspaces go with --download-new");
    if (!asked)
        return std::nullopt;
    DownloadNewOptions options;
    options.allWorkspaces = given->contains("all-workspaces");
    // A file name is bytes, not text: GLib keeps it as a byte string.
    const char* destination = nullptr;
    if (g_variant_dict_lookup(const_cast<GVariantDict*>(given->gobj()), "destination", "^&ay",
                              &destination)) {
        if (!*destination) {
            why = _("--destination needs a folder");
            return std::nullopt;
        }
        std::filesystem::path path(destination);
        options.destination = path.is_absolute() ? path : std::filesystem::path(folder) / path;
    }
    return options;
}

} // namespace

std::optional<int> OrvoWavApp::answerCommandLine(int argc, char** argv,
                                                 std::optional<DownloadNewOptions>* downloadNew) {
    // Gtk::Application opens the display as it is made, so the options are
    // read by a plain GApplication first: --help, --version and a mistyped
    // option need no display, and it never registers on the bus.
    bool start = false;
    int status = 0;
    {
        auto options = Gio::Application::create(id, Gio::Application::Flags::NON_UNIQUE);
        options->add_main_option_entry(OptionType::BOOL, "version", '\0',
                                       _("Print the version and exit"));
        addDownloadNewOptions(*options);
        options->set_option_context_summary(
            _("Saves your Orvo library as WAV files, one folder per workspace."));
        options->set_option_context_description(
            // Translators: part of --help; keep the variable names as they are.
            _("ORVO_WEB_ORIGIN, ORVO_API_ORIGIN and ORVO_UPDATE_ORIGIN in the environment replace\n"
              "the built-in addresses of Orvo's web site, its studio API and the update host.\n"
              "\n"
              "--download-new exits with 0 when it is done and nothing failed, 1 when some\n"
              "tracks could not be fetched, 2 when Orvo needs you to sign in again, 3 when the\n"
              "destination is unavailable (missing, read-only, not on its disk), 4 when another\n"
              "run of this profile is in progress, and 64 when the command line is wrong.\n"
              "\n"
              "See orvo-wav-downloader(1)."));
        options->signal_handle_local_options().connect(
            [&](const Glib::RefPtr<Glib::VariantDict>& given) {
                std::string why;
                auto asked = downloadNewIn(given, Glib::get_current_dir(), why);
                if (!why.empty()) {
                    std::cerr << "orvo-wav-downloader: " << why << '\n';
                    return int(DownloadNewOptions::usage);
                }
                if (given->contains("version")) {
                    std::cout << "orvo-wav-downloader " << UpdateChecker::currentVersion() << '\n';
                    return 0;
                }
                start = true;
                if (downloadNew)
                    *downloadNew = std::move(asked);
                return 0;
            },
            false);
        status = options->run(argc, argv);
    }
    // A --download-new that GLib could not read is a command line to mend:
    // a script tells that apart from a failed run.
    if (!start && status == 1)
        for (int i = 1; i < argc; ++i)
            if (std::string_view(argv[i]) == "--download-new")
                return int(DownloadNewOptions::usage);
    // Gone by now: the app made next is the process's default application.
    return start ? std::nullopt : std::optional<int>(status);
}

OrvoWavApp::OrvoWavApp(bool unique)
    : Gtk::Application(
          id, Gio::Application::Flags::HANDLES_COMMAND_LINE |
                  Gio::Application::Flags::SEND_ENVIRONMENT |
                  (unique ? Gio::Application::Flags::NONE : Gio::Application::Flags::NON_UNIQUE)) {
    Glib::set_application_name(_(MainWindow::title));
    addDownloadNewOptions(*this);
}

OrvoWavApp::~OrvoWavApp() {
    runWatch_.disconnect();
    busyWatch_.disconnect();
    sessionWatch_.disconnect();
    sessionHold_.disconnect();
    choiceWatch_.disconnect();
    quitQuestion_.reset();
    // The window goes before the page and the manager it shows.
    window_.reset();
}

void OrvoWavApp::on_startup() {
    Gtk::Application::on_startup();
    // The whole window mirrors for a language written right to left, even
    // where GTK's own catalogue for it is not installed.
    Gtk::Widget::set_default_direction(Translation::rightToLeft() ? Gtk::TextDirection::RTL
                                                                  : Gtk::TextDirection::LTR);
    Theme::install(*Gdk::Display::get_default());
    Gtk::Window::set_default_icon_name(id);

    const AppFolders folders = AppFolders::fromEnvironment();
    settings_ = std::make_unique<KeyFileSettings>(folders.settingsFile());
    // One process on the profile: a --download-new refuses to start beside
    // another; the window opens all the same.
    profileLock_ = ProfileLock::tryTake(folders.data);
    downloader_ = std::make_unique<SoupDownloader>();
    addActions();
}

void OrvoWavApp::startSession() {
    if (!bridge_) {
        bridge_ = std::make_unique<OrvoBridge>();
        // A link the user clicked in the page that leads away from Orvo.
        bridge_->setLinkOpener([this](const std::string& uri) {
            Browser::open(window_ ? GTK_WIDGET(window_->gobj()) : nullptr, uri);
        });
        manager_ = std::make_unique<DownloadManager>(*bridge_, clock_, *settings_, *downloader_,
                                                     AppFolders::fromEnvironment().data);
        runWatch_ =
            manager_->signalChanged().connect(sigc::mem_fun(*this, &OrvoWavApp::notifyWhenRunEnds));
        // Signing out makes no sense halfway through a scan or a run.
        busyWatch_ = manager_->signalChanged().connect([this](DownloadManager::Property) {
            signOutAction_->set_enabled(!manager_->scanning() && !manager_->running());
        });
        // A sign-in lost during a scan or a run stops it.
        sessionWatch_ = bridge_->loggedInChanged().connect([this] {
            if (!bridge_->loggedIn())
                manager_->signedOut();
        });
        signOutAction_->set_enabled(true);
        sessionHold_ = manager_->signalChanged().connect(
            sigc::mem_fun(*this, &OrvoWavApp::holdSessionWhileRunning));
        choiceWatch_ =
            manager_->signalChanged().connect(sigc::mem_fun(*this, &OrvoWavApp::rememberChoice));
        // The panel that shows the last scan appears only once the page
        // reports a session, which takes longer than reading it.
        manager_->loadCache();
    }
    if (!window_) {
        // With nobody to look at it, the page lives in a window never shown.
        if (!hiddenPage_) {
            hiddenPage_ = std::make_unique<Gtk::Window>();
            hiddenPage_->set_child(bridge_->webView());
        }
        return;
    }
    if (quitQuestion_)
        return;
    if (hiddenPage_)
        hiddenPage_->unset_child();
    // What a run with nobody watching did last.
    if (!unattended_)
        manager_->showLog(UnattendedLog::take(AppFolders::fromEnvironment().data));
    quitQuestion_ = std::make_unique<QuitQuestion>(*window_, *manager_, [this] { quit(); });
    window_->content().attach(*bridge_, *manager_);
}

void OrvoWavApp::on_activate() {
    if (window_) {
        window_->present();
        return;
    }
    window_ = std::make_unique<MainWindow>(*settings_);
    if (userDisplay_) {
        Theme::install(*Glib::wrap(userDisplay_, true));
        gtk_window_set_display(GTK_WINDOW(window_->gobj()), userDisplay_);
    }
    window_->signal_close_request().connect([this] { return requestQuit(); }, false);
    // Once the user is back at the window, the note about the run has done its work.
    window_->property_is_active().signal_changed().connect([this] {
        if (window_->is_active())
            withdraw_notification(runEndNotice);
    });
    add_window(*window_);
    window_->present();
    // The page and the manager take a few hundred milliseconds to make:
    // after the window's first frame.
    GdkFrameClock* clock = gtk_widget_get_frame_clock(GTK_WIDGET(window_->gobj()));
    if (!clock) {
        startSession();
        return;
    }
    g_signal_connect(clock, "after-paint", G_CALLBACK(+[](GdkFrameClock* clock, gpointer app) {
                         g_signal_handlers_disconnect_by_data(clock, app);
                         Glib::signal_idle().connect_once(
                             [app] { static_cast<OrvoWavApp*>(app)->startSession(); });
                     }),
                     this);
}

void OrvoWavApp::addActions() {
    add_action("about", sigc::mem_fun(*this, &OrvoWavApp::showAbout));
    add_action("check-updates", sigc::mem_fun(*this, &OrvoWavApp::checkForUpdates));
    add_action("quit", [this] { requestQuit(); });
    add_action("reload-page", [this] {
        if (bridge_)
            bridge_->retry();
    });
    signOutAction_ = add_action("sign-out", sigc::mem_fun(*this, &OrvoWavApp::confirmSignOut));
    signOutAction_->set_enabled(false); // until the page exists
    set_accel_for_action("app.quit", "<Control>q");
    // The shortcuts GNOME users try first.
    add_action("choose-folder", [this] {
        if (auto* panel = window_ ? window_->content().panel() : nullptr)
            panel->chooseFolder();
    });
    set_accel_for_action("app.choose-folder", "<Control>o");
    add_action("scan-recent", [this] {
        if (auto* panel = window_ ? window_->content().panel() : nullptr)
            panel->scanRecent();
    });
    set_accel_for_action("app.scan-recent", "<Control>r");
    add_action("shortcuts", sigc::mem_fun(*this, &OrvoWavApp::showShortcuts));
    set_accel_for_action("app.shortcuts", "<Control>question");
}

bool OrvoWavApp::requestQuit() {
    if (quitQuestion_)
        return quitQuestion_->request();
    quit();
    return false;
}

void OrvoWavApp::holdSessionWhileRunning(DownloadManager::Property property) {
    if (property != DownloadManager::Property::running)
        return;
    // A run nobody started from the window does not stand in the way of
    // logging out: only of suspending.
    if (manager_->running() && !inhibitCookie_)
        inhibitCookie_ = gtk_application_inhibit(
            gobj(), window_ ? GTK_WINDOW(window_->gobj()) : nullptr,
            GtkApplicationInhibitFlags(
                GTK_APPLICATION_INHIBIT_SUSPEND |
                (window_ && !unattended_ ? GTK_APPLICATION_INHIBIT_LOGOUT : 0)),
            _("Downloading WAV files"));
    else if (!manager_->running() && inhibitCookie_)
        uninhibit(std::exchange(inhibitCookie_, 0));
}

void OrvoWavApp::showShortcuts() {

    // The window's titles are translated as the builder reads them.
    GtkBuilder* builder = gtk_builder_new();
    gtk_builder_set_translation_domain(builder, Translation::domain);
    const std::string_view ui = AppInterface::shortcuts;
    gtk_builder_add_from_string(builder, ui.data(), gssize(ui.size()), nullptr);
    auto* shortcuts = GTK_WINDOW(gtk_builder_get_object(builder, "shortcuts"));
    if (window_)
        gtk_window_set_transient_for(shortcuts, GTK_WINDOW(window_->gobj()));
    gtk_window_present(shortcuts);
    g_object_unref(builder); // the shown window keeps itself until closed
}

void OrvoWavApp::showAbout() {
    auto* dialog = new Gtk::AboutDialog();
    dialog->set_program_name(_(MainWindow::title));
    dialog->set_version(UpdateChecker::currentVersion());
    dialog->set_logo_icon_name(id);
    dialog->set_comments(_("Your Orvo library on your own disk, as WAV files."));
    dialog->set_modal(true);
    dialog->set_hide_on_close(true);
    if (window_)
        dialog->set_transient_for(*window_);
    dialog->signal_hide().connect([dialog] { delete dialog; });
    dialog->present();
}

void OrvoWavApp::checkForUpdates() {
    // Works in every state of the window: the answer comes as an alert over it.
    if (window_)
        UpdateChecker::checkManually(*window_);
}

void OrvoWavApp::confirmSignOut() {
    if (!window_ || !bridge_)
        return;
    auto* dialog = new Gtk::MessageDialog(*window_, _("Sign out of Orvo?"), false,
                                          Gtk::MessageType::QUESTION, Gtk::ButtonsType::NONE, true);
    dialog->set_name("signOutDialog");
    dialog->set_secondary_text(_("Your sign-in and the cached library are removed from this "
                                 "computer. Downloaded files stay."));
    // Alt+C and Alt+S answer it from the keyboard.
    dialog->add_button(_("_Cancel"), Gtk::ResponseType::CANCEL);
    dialog->add_button(_("_Sign Out"), Gtk::ResponseType::ACCEPT);
    dialog->set_default_response(Gtk::ResponseType::CANCEL);
    dialog->set_hide_on_close(true);
    dialog->signal_response().connect([this, dialog](int response) {
        dialog->hide();
        Glib::signal_idle().connect_once([dialog] { delete dialog; });
        if (response == Gtk::ResponseType::ACCEPT)
            startDetached(signOut());
    });
    dialog->present();
}

Task<void> OrvoWavApp::signOut() {
    if (manager_->scanning() || manager_->running())
        co_return;
    manager_->forgetLibrary();
    co_await bridge_->signOut();
}

void OrvoWavApp::notifyWhenRunEnds(DownloadManager::Property property) {
    // A run that ends while the user looks elsewhere is worth a note on the
    // desktop; with the window in front, the panel already says it.
    if (property != DownloadManager::Property::running || manager_->running() || unattended_)
        return;
    if (window_ && window_->is_active())
        return;
    auto note = Gio::Notification::create(PanelState::runEndTitle(manager_->overall()));
    note->set_body(DisplayText::composed(manager_->current()));
    send_notification(runEndNotice, note);
}

namespace {

// The page's sign-in as an unattended run asks after it.
class BridgeSignIn final : public SignInState {
  public:
    explicit BridgeSignIn(OrvoBridge& bridge) : bridge_(bridge) {}
    bool loggedIn() const override { return bridge_.loggedIn(); }
    bool unreachable() const override { return bridge_.unreachable(); }
    bool onSignInPage() const override { return !bridge_.signInHost().empty(); }

  private:
    OrvoBridge& bridge_;
};

// Lines on standard output, and a bar that redraws itself in place while
// standard output is a terminal.
UnattendedRun::Output terminalOutput() {
    static bool barShown = false;
    UnattendedRun::Output output;
    output.line = [](const std::string& line) {
        if (std::exchange(barShown, false))
            std::cout << "\r\033[K";
        std::cout << line << std::endl;
    };
    if (::isatty(STDOUT_FILENO))
        output.progress = [](double fraction) {
            if (fraction < 0) {
                if (std::exchange(barShown, false))
                    std::cout << "\r\033[K" << std::flush;
                return;
            }
            barShown = true;
            std::cout << '\r' << UnattendedRun::bar(fraction) << std::flush;
        };
    return output;
}

// The display of the process that asked for a window: its Wayland socket
// (found by name in its runtime folder) or its X server.
GdkDisplay* displayOf(const Gio::ApplicationCommandLine& command) {
    const std::string wayland = command.getenv("WAYLAND_DISPLAY");
    const std::string runtime = command.getenv("XDG_RUNTIME_DIR");
    const std::string x11 = command.getenv("DISPLAY");
    // This process's own environment names the private compositor: the
    // caller's is lent for as long as the display takes to open.
    const std::string ownRuntime = Glib::getenv("XDG_RUNTIME_DIR");
    const std::string ownBackend = Glib::getenv("GDK_BACKEND");
    Glib::unsetenv("GDK_BACKEND");
    GdkDisplay* display = nullptr;
    if (!wayland.empty() && !runtime.empty()) {
        Glib::setenv("XDG_RUNTIME_DIR", runtime);
        display = gdk_display_open(wayland.c_str());
        Glib::setenv("XDG_RUNTIME_DIR", ownRuntime);
    }
    if (!display && !x11.empty())
        display = gdk_display_open(x11.c_str());
    if (!ownBackend.empty())
        Glib::setenv("GDK_BACKEND", ownBackend);
    return display;
}

} // namespace

int OrvoWavApp::on_command_line(const Glib::RefPtr<Gio::ApplicationCommandLine>& command) {
    std::string why;
    auto options = downloadNewIn(command->get_options_dict(), command->get_cwd(), why);
    if (!why.empty()) {
        command->printerr("orvo-wav-downloader: " + why + "\n");
        return DownloadNewOptions::usage;
    }
    if (!options) {
        if (privateDisplay_ && command->is_remote() && !window_ && !userDisplay_)
            userDisplay_ = displayOf(*command);
        activate();
        return 0;
    }
    if (!command->is_remote()) {
        headless_ = true;
        if (!profileLock_) {
            std::cerr << _("Another run of Orvo WAV Downloader is using this profile.") << '\n';
            downloadNewStatus_ = DownloadNewOptions::anotherRun;
            return DownloadNewOptions::anotherRun;
        }
    } else if (headless_ && unattended_) {
        // Started with nobody watching, this process is that run: a second
        // one is not joined but refused, as a second process would be.
        command->printerr(std::string(_("A run of Orvo WAV Downloader is already in progress.")) +
                          "\n");
        return DownloadNewOptions::anotherRun;
    }
    startDetached(downloadNew(command, *options));
    return 0;
}

Task<void> OrvoWavApp::downloadNew(Glib::RefPtr<Gio::ApplicationCommandLine> command,
                                   DownloadNewOptions options) {
    // The app stays while the run goes, window or none.
    hold();
    ++unattendedRuns_;
    unattended_ = true;
    startSession();
    UnattendedRun::Output output = terminalOutput();
    if (command->is_remote())
        output = {[command](const std::string& line) { command->print(line + "\n"); }, {}};
    const BridgeSignIn signIn(*bridge_);
    UnattendedRun run(*bridge_, signIn, *manager_, clock_, AppFolders::fromEnvironment().data,
                      std::move(options), std::move(output));
    int status = DownloadNewOptions::someFailed;
    try {
        status = co_await run.run();
        tellRunEnd(status, run);
    } catch (const std::exception& failure) {
        std::cerr << failure.what() << '\n';
    }
    // Kept for the window's next start; a window open now shows it already.
    if (!window_ && !manager_->log().empty())
        UnattendedLog::save(AppFolders::fromEnvironment().data, manager_->log());
    command->set_exit_status(status);
    if (!command->is_remote())
        downloadNewStatus_ = status;
    unattended_ = --unattendedRuns_ > 0;
    release();
}

void OrvoWavApp::tellRunEnd(int status, const UnattendedRun& run) {
    // Someone at the window sees it there.
    if (window_ && window_->is_active())
        return;
    if (status == DownloadNewOptions::signInNeeded) {
        // A click opens the app, where the sign-in is.
        auto note = Gio::Notification::create(_("Sign in to Orvo to keep your library up to date"));
        note->set_priority(Gio::Notification::Priority::HIGH);
        send_notification(signInNotice, note);
        return;
    }
    const auto& counts = run.counts();
    // Nothing new, nothing failed: nothing to say.
    if (counts.saved == 0 && counts.failed == 0)
        return;
    const std::string failed =
        Translation::counted(std::int64_t(counts.failed), "{count} track could not be fetched",
                             "{count} tracks could not be fetched");
    auto note = Gio::Notification::create(
        counts.saved > 0 ? Translation::counted(std::int64_t(counts.saved),
                                                "{count} new track saved in Orvo Library",
                                                "{count} new tracks saved in Orvo Library")
                         : failed);
    if (counts.saved > 0 && counts.failed > 0)
        note->set_body(failed);
    send_notification(runEndNotice, note);
}

void OrvoWavApp::rememberChoice(DownloadManager::Property property) {
    // Only what the user chose counts: not a run that follows an earlier choice.
    if (property != DownloadManager::Property::running || !manager_->running() || unattended_)
        return;
    LastRunChoice choice{manager_->selected(), {}, manager_->likedOnly()};
    for (const Workspace& workspace : manager_->workspaces())
        choice.known.insert(workspace.id);
    choice.save(AppFolders::fromEnvironment().data);
}
