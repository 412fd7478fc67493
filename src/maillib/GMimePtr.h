#pragma once

#include <gmime/gmime.h>

#include <memory>

// Ownership of GMime objects: one reference, dropped with g_object_unref.
namespace maillib::detail {

struct GObjectUnref
{
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};

template <typename T>
using GMimePtr = std::unique_ptr<T, GObjectUnref>;

// Frees memory GMime hands out with g_malloc.
struct GFree
{
    void operator()(gpointer memory) const { g_free(memory); }
};
using GCharPtr = std::unique_ptr<char, GFree>;

// Initialises GMime once per process.
void ensureGMime();

} // namespace maillib::detail
