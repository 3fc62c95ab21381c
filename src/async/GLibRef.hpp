#pragma once
#include <glib-object.h>
#include <memory>

// Owning references to GLib objects and boxed values, released on scope exit.
struct GObjectUnref {
    void operator()(gpointer object) const noexcept { g_object_unref(object); }
};
template <typename T> using GObjectRef = std::unique_ptr<T, GObjectUnref>;

// Takes a new reference to an object someone else owns.
template <typename T> GObjectRef<T> addRef(T* object) {
    return GObjectRef<T>(static_cast<T*>(g_object_ref(object)));
}

struct GBytesUnref {
    void operator()(GBytes* bytes) const noexcept { g_bytes_unref(bytes); }
};
using GBytesRef = std::unique_ptr<GBytes, GBytesUnref>;

struct GErrorFree {
    void operator()(GError* error) const noexcept { g_error_free(error); }
};
using GErrorRef = std::unique_ptr<GError, GErrorFree>;

struct GFree {
    void operator()(gpointer memory) const noexcept { g_free(memory); }
};
using GCharRef = std::unique_ptr<char, GFree>;
