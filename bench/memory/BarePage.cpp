// A window with nothing but a WebKitWebView on WebKit's defaults, showing
// one address: the reference the memory benchmark measures the app against.
#include <gtk/gtk.h>
#include <webkit/webkit.h>

int main(int argc, char** argv) {
    if (argc != 2) {
        g_printerr("usage: bare-page ADDRESS\n");
        return 2;
    }
    gtk_init();
    GtkWidget* window = gtk_window_new();
    gtk_window_set_title(GTK_WINDOW(window), "Bare page");
    gtk_window_set_default_size(GTK_WINDOW(window), 860, 760);
    GtkWidget* view = webkit_web_view_new();
    gtk_window_set_child(GTK_WINDOW(window), view);
    webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), argv[1]);
    GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
    g_signal_connect_swapped(window, "destroy", G_CALLBACK(g_main_loop_quit), loop);
    gtk_window_present(GTK_WINDOW(window));
    g_main_loop_run(loop);
    g_main_loop_unref(loop);
    return 0;
}
