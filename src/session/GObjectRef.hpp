#pragma once
#include <glib-object.h>
#include <memory>

// One owned reference to a GObject, dropped when the holder goes.
struct GObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
template <typename T> using GObjectRef = std::unique_ptr<T, GObjectUnref>;

// Takes a new reference to an object someone else owns.
template <typename T> GObjectRef<T> addRef(T* object) {
    return GObjectRef<T>(static_cast<T*>(g_object_ref(object)));
}
