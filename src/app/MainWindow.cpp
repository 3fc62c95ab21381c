#include "app/MainWindow.hpp"

#include "model/Translation.hpp"
#include "ui/Accessibility.hpp"

#include <algorithm>
#include <giomm/menu.h>
#include <gtkmm/headerbar.h>
#include <gtkmm/menubutton.h>
#ifdef GDK_WINDOWING_X11
#include <gdk/x11/gdkx.h>
#endif

MainWindow::MainWindow(SettingsStore& settings) : content_(settings) {
    set_title(_(title));
    add_css_class("orvo");
    // The whole window's minimum, header bar included.
    set_size_request(minWidth, minHeight);
    fitToScreen();

    auto menu = Gio::Menu::create();
    auto about = Gio::Menu::create();
    about->append(_("Keyboard Shortcuts"), "app.shortcuts");
    about->append(_("About Orvo WAV Downloader"), "app.about");
    about->append(_("Check for Updates…"), "app.check-updates");
    menu->append_section(about);
    auto session = Gio::Menu::create();
    session->append(_("Reload Orvo Page"), "app.reload-page");
    session->append(_("Sign Out…"), "app.sign-out");
    menu->append_section(session);
    auto quit = Gio::Menu::create();
    quit->append(_("Quit"), "app.quit");
    menu->append_section(quit);
    auto* button = Gtk::make_managed<Gtk::MenuButton>();
    button->set_name("mainMenu");
    button->set_icon_name("open-menu-symbolic");
    button->set_menu_model(menu);
    button->set_primary(true);
    button->set_tooltip_text(_("Main menu"));
    Accessibility::setLabel(*button, _("Main menu"));
    auto* header = Gtk::make_managed<Gtk::HeaderBar>();
    header->pack_end(*button);
    set_titlebar(*header);

    set_child(content_);
}

void MainWindow::fitToScreen() {
    auto display = get_display();
    auto monitors = display ? display->get_monitors() : Glib::RefPtr<Gio::ListModel>{};
    if (!monitors || monitors->get_n_items() == 0) {
        set_default_size(defaultWidth, defaultHeight);
        return;
    }
    auto* monitor = GDK_MONITOR(g_list_model_get_item(monitors->gobj(), 0));
    GdkRectangle area;
    gdk_monitor_get_geometry(monitor, &area);
#ifdef GDK_WINDOWING_X11
    // Panels and docks take their share of the screen. GTK 4.18 deprecates
    // the call without a successor; X11 still answers it.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    if (GDK_IS_X11_MONITOR(monitor))
        gdk_x11_monitor_get_workarea(monitor, &area);
    G_GNUC_END_IGNORE_DEPRECATIONS
#endif
    g_object_unref(monitor);
    set_default_size(std::clamp(area.width, minWidth, defaultWidth),
                     std::clamp(area.height, minHeight, defaultHeight));
}
