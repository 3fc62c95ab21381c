#include "ui/Browser.hpp"

#include "download/WebAddress.hpp"

namespace Browser {

bool open(GtkWidget* from, const std::string& address) {
    if (!isLinkAddress(address))
        return false;
    GtkRoot* root = from ? gtk_widget_get_root(from) : nullptr;
    GtkWindow* window = root && GTK_IS_WINDOW(root) ? GTK_WINDOW(root) : nullptr;
    // Nothing is reported if no browser takes the page.
#if GTK_CHECK_VERSION(4, 10, 0)
    GtkUriLauncher* launcher = gtk_uri_launcher_new(address.c_str());
    gtk_uri_launcher_launch(launcher, window, nullptr, nullptr, nullptr);
    g_object_unref(launcher);
#else
    gtk_show_uri(window, address.c_str(), GDK_CURRENT_TIME);
#endif
    return true;
}

} // namespace Browser
