#include "app/MainWindow.hpp"

#include "ui/Accessibility.hpp"

#include <giomm/menu.h>
#include <gtkmm/headerbar.h>
#include <gtkmm/menubutton.h>

MainWindow::MainWindow(SettingsStore& settings) : content_(settings) {
    set_title(title);
    add_css_class("orvo");
    // The content's own minimum: the header bar comes on top of it.
    content_.set_size_request(minWidth, minHeight);

    auto menu = Gio::Menu::create();
    auto about = Gio::Menu::create();
    about->append("About Orvo WAV Downloader", "app.about");
    about->append("Check for Updates…", "app.check-updates");
    menu->append_section(about);
    auto session = Gio::Menu::create();
    session->append("Reload Orvo Page", "app.reload-page");
    session->append("Sign Out…", "app.sign-out");
    menu->append_section(session);
    auto quit = Gio::Menu::create();
    quit->append("Quit", "app.quit");
    menu->append_section(quit);
    auto* button = Gtk::make_managed<Gtk::MenuButton>();
    button->set_name("mainMenu");
    button->set_icon_name("open-menu-symbolic");
    button->set_menu_model(menu);
    button->set_primary(true);
    button->set_tooltip_text("Main menu");
    Accessibility::setLabel(*button, "Main menu");
    auto* header = Gtk::make_managed<Gtk::HeaderBar>();
    header->pack_end(*button);
    set_titlebar(*header);

    set_child(content_);
}
