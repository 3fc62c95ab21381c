#pragma once
#include <gtk/gtk.h>
#include <string>

// Opens a page in the user's browser, over the window the widget is in.
// Only a link address (isLinkAddress: http or https, a host, nothing but
// address characters) is handed on, so a link from the service can never
// launch a file or another scheme's program. False when it was refused;
// whether a browser took it is not known here.
namespace Browser {
bool open(GtkWidget* from, const std::string& address);
}
