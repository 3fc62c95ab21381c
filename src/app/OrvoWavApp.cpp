#include "app/OrvoWavApp.hpp"

#include "app/MainWindow.hpp"
#include "manager/AppFolders.hpp"
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

Glib::RefPtr<OrvoWavApp> OrvoWavApp::create() {
    return Glib::make_refptr_for_instance<OrvoWavApp>(new OrvoWavApp());
}

std::optional<int> OrvoWavApp::answerCommandLine(int argc, char** argv) {
    // Gtk::Application opens the display as it is made, so the options are
    // read by a plain GApplication first: --help, --version and a mistyped
    // option need no display, and it never registers on the bus.
    bool start = false;
    int status = 0;
    {
        auto options = Gio::Application::create(id, Gio::Application::Flags::NON_UNIQUE);
        options->add_main_option_entry(OptionType::BOOL, "version", '\0',
                                       "Print the version and exit");
        options->set_option_context_summary(
            "Saves your Orvo library as WAV files, one folder per workspace.");
        options->set_option_context_description(
            "ORVO_WEB_ORIGIN, ORVO_API_ORIGIN and ORVO_UPDATE_ORIGIN in the environment replace\n"
            "the built-in addresses of Orvo's web site, its studio API and the update host.\n"
            "See orvo-wav-downloader(1).");
        options->signal_handle_local_options().connect(
            [&start](const Glib::RefPtr<Glib::VariantDict>& given) {
                if (given->contains("version"))
                    std::cout << "orvo-wav-downloader " << UpdateChecker::currentVersion() << '\n';
                else
                    start = true;
                return 0;
            },
            false);
        status = options->run(argc, argv);
    }
    // Gone by now: the app made next is the process's default application.
    return start ? std::nullopt : std::optional<int>(status);
}

OrvoWavApp::OrvoWavApp() : Gtk::Application(id) {
    Glib::set_application_name(MainWindow::title);
}

OrvoWavApp::~OrvoWavApp() {
    runWatch_.disconnect();
    busyWatch_.disconnect();
    sessionWatch_.disconnect();
    sessionHold_.disconnect();
    quitQuestion_.reset();
    // The window goes before the page and the manager it shows.
    window_.reset();
}

void OrvoWavApp::on_startup() {
    Gtk::Application::on_startup();
    Theme::install(*Gdk::Display::get_default());
    Gtk::Window::set_default_icon_name(id);

    const AppFolders folders = AppFolders::fromEnvironment();
    settings_ = std::make_unique<KeyFileSettings>(folders.settingsFile());
    downloader_ = std::make_unique<SoupDownloader>();
    addActions();
}

void OrvoWavApp::startSession() {
    if (bridge_)
        return;
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
    quitQuestion_ = std::make_unique<QuitQuestion>(*window_, *manager_, [this] { quit(); });
    // The panel that shows the last scan appears only once the page
    // reports a session, which takes longer than reading it.
    manager_->loadCache();
    window_->content().attach(*bridge_, *manager_);
}

void OrvoWavApp::on_activate() {
    if (window_) {
        window_->present();
        return;
    }
    window_ = std::make_unique<MainWindow>(*settings_);
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
    if (property != DownloadManager::Property::running || !window_)
        return;
    if (manager_->running() && !inhibitCookie_)
        inhibitCookie_ = inhibit(*window_,
                                 Gtk::Application::InhibitFlags::SUSPEND |
                                     Gtk::Application::InhibitFlags::LOGOUT,
                                 "Downloading WAV files");
    else if (!manager_->running() && inhibitCookie_)
        uninhibit(std::exchange(inhibitCookie_, 0));
}

void OrvoWavApp::showShortcuts() {
    static const char* ui = R"ui(<interface>
  <object class="GtkShortcutsWindow" id="shortcuts">
    <property name="modal">1</property>
    <child><object class="GtkShortcutsSection">
      <property name="section-name">main</property>
      <child><object class="GtkShortcutsGroup">
        <property name="title">Control panel</property>
        <child><object class="GtkShortcutsShortcut">
          <property name="title">Scan recent workspaces</property>
          <property name="accelerator">&lt;Control&gt;r</property></object></child>
        <child><object class="GtkShortcutsShortcut">
          <property name="title">Choose the destination folder</property>
          <property name="accelerator">&lt;Control&gt;o</property></object></child>
        <child><object class="GtkShortcutsShortcut">
          <property name="title">Tick or untick the workspace in focus</property>
          <property name="accelerator">space Return</property></object></child>
        <child><object class="GtkShortcutsShortcut">
          <property name="title">Next or previous control</property>
          <property name="accelerator">Tab &lt;Shift&gt;Tab</property></object></child>
      </object></child>
      <child><object class="GtkShortcutsGroup">
        <property name="title">General</property>
        <child><object class="GtkShortcutsShortcut">
          <property name="title">Keyboard shortcuts</property>
          <property name="accelerator">&lt;Control&gt;question</property></object></child>
        <child><object class="GtkShortcutsShortcut">
          <property name="title">Quit</property>
          <property name="accelerator">&lt;Control&gt;q</property></object></child>
      </object></child>
    </object></child>
  </object>
</interface>)ui";
    GtkBuilder* builder = gtk_builder_new_from_string(ui, -1);
    auto* shortcuts = GTK_WINDOW(gtk_builder_get_object(builder, "shortcuts"));
    if (window_)
        gtk_window_set_transient_for(shortcuts, GTK_WINDOW(window_->gobj()));
    gtk_window_present(shortcuts);
    g_object_unref(builder); // the shown window keeps itself until closed
}

void OrvoWavApp::showAbout() {
    auto* dialog = new Gtk::AboutDialog();
    dialog->set_program_name(MainWindow::title);
    dialog->set_version(UpdateChecker::currentVersion());
    dialog->set_logo_icon_name(id);
    dialog->set_comments("Your Orvo library on your own disk, as WAV files.");
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
    auto* dialog = new Gtk::MessageDialog(*window_, "Sign out of Orvo?", false,
                                          Gtk::MessageType::QUESTION, Gtk::ButtonsType::NONE, true);
    dialog->set_name("signOutDialog");
    dialog->set_secondary_text("Your sign-in and the cached library are removed from this "
                               "computer. Downloaded files stay.");
    // Alt+C and Alt+S answer it from the keyboard.
    dialog->add_button("_Cancel", Gtk::ResponseType::CANCEL);
    dialog->add_button("_Sign Out", Gtk::ResponseType::ACCEPT);
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
    if (property != DownloadManager::Property::running || manager_->running())
        return;
    if (window_ && window_->is_active())
        return;
    auto note = Gio::Notification::create(PanelState::runEndTitle(manager_->overall()));
    note->set_body(DisplayText::composed(manager_->current()));
    send_notification(runEndNotice, note);
}
