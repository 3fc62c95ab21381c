#include "app/OrvoWavApp.hpp"

#include "app/MainWindow.hpp"
#include "ui/ControlPanel.hpp"
#include "manager/AppFolders.hpp"
#include "ui/DisplayText.hpp"
#include "ui/PanelState.hpp"
#include "ui/Theme.hpp"
#include "update/UpdateAlertDialog.hpp"

#include <giomm/notification.h>
#include <glibmm/main.h>
#include <glibmm/miscutils.h>
#include <giomm/simpleaction.h>
#include <gtkmm/aboutdialog.h>

Glib::RefPtr<OrvoWavApp> OrvoWavApp::create() {
    return Glib::make_refptr_for_instance<OrvoWavApp>(new OrvoWavApp());
}

OrvoWavApp::OrvoWavApp() : Gtk::Application(id) { Glib::set_application_name(MainWindow::title); }

OrvoWavApp::~OrvoWavApp() {
    runWatch_.disconnect();
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
    manager_ = std::make_unique<DownloadManager>(*bridge_, clock_, *settings_, *downloader_,
                                                 AppFolders::fromEnvironment().data);
    runWatch_ = manager_->signalChanged().connect(
        sigc::mem_fun(*this, &OrvoWavApp::notifyWhenRunEnds));
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
