#include "ui/WidgetTesting.hpp"

#include <gtk/gtk.h>
#include <stdexcept>

namespace widgettest {

void walk(Gtk::Widget& root, const std::function<void(Gtk::Widget&)>& visit) {
    visit(root);
    for (auto* child = root.get_first_child(); child; child = child->get_next_sibling())
        walk(*child, visit);
}

Gtk::Widget* named(Gtk::Widget& root, const std::string& name) {
    Gtk::Widget* found = nullptr;
    walk(root, [&](Gtk::Widget& widget) {
        if (!found && widget.get_name().raw() == name)
            found = &widget;
    });
    return found;
}

bool shown(Gtk::Widget& widget) {
    for (Gtk::Widget* at = &widget; at; at = at->get_parent())
        if (!at->get_visible())
            return false;
    return true;
}

bool pressKey(Gtk::Widget& widget, unsigned keyval, unsigned modifiers) {
    GListModel* controllers = gtk_widget_observe_controllers(widget.gobj());
    bool handled = false;
    for (guint i = 0; !handled && i < g_list_model_get_n_items(controllers); ++i) {
        auto* controller = static_cast<GObject*>(g_list_model_get_item(controllers, i));
        if (GTK_IS_EVENT_CONTROLLER_KEY(controller)) {
            gboolean result = FALSE;
            g_signal_emit_by_name(controller, "key-pressed", keyval, 0u,
                                  GdkModifierType(modifiers), &result);
            handled = result;
        }
        g_object_unref(controller);
    }
    g_object_unref(controllers);
    return handled;
}

void screenshot(Gtk::Widget& widget, const std::filesystem::path& file) {
    gtk_test_widget_wait_for_draw(widget.gobj());
    GdkPaintable* paintable = gtk_widget_paintable_new(widget.gobj());
    const int width = widget.get_width(), height = widget.get_height();
    GtkSnapshot* snapshot = gtk_snapshot_new();
    gdk_paintable_snapshot(paintable, snapshot, width, height);
    GskRenderNode* node = gtk_snapshot_free_to_node(snapshot);
    if (!node) {
        g_object_unref(paintable);
        throw std::runtime_error("nothing drawn for " + file.string());
    }
    GskRenderer* renderer = gtk_native_get_renderer(gtk_widget_get_native(widget.gobj()));
    const graphene_rect_t bounds = GRAPHENE_RECT_INIT(0, 0, float(width), float(height));
    GdkTexture* texture = gsk_renderer_render_texture(renderer, node, &bounds);
    std::filesystem::create_directories(file.parent_path());
    gdk_texture_save_to_png(texture, file.c_str());
    g_object_unref(texture);
    gsk_render_node_unref(node);
    g_object_unref(paintable);
}

} // namespace widgettest
