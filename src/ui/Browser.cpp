#include "ui/Browser.hpp"

#include "download/WebAddress.hpp"

namespace Browser {

bool open(GtkWidget* from, const std::string& address) {
    if (!isLinkAddress(address))
        return false;
    GtkRoot* root = from ? gtk_widget_get_root(from) : nullptr;
    // GTK 4.8 has no URI launcher yet; nothing is reported if no browser
    // takes the page.
    gtk_show_uri(root && GTK_IS_WINDOW(root) ? GTK_WINDOW(root) : nullptr, address.c_str(),
                 GDK_CURRENT_TIME);
    return true;
}

} // namespace Browser
