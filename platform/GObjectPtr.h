// Owners for GLib objects and errors, so that every GIO handle is released once, on every path.
//
// Thread-safety: as the objects they own.
#pragma once

#include "GioLibrary.h"

#include <memory>

namespace qvp {

template <typename T> struct GObjectDeleter
{
    void operator()(T* object) const { g_object_unref(object); }
};
template <typename T> using GPtr = std::unique_ptr<T, GObjectDeleter<T>>;

struct ErrorDeleter
{
    void operator()(GError* error) const { g_error_free(error); }
};
using ErrorPtr = std::unique_ptr<GError, ErrorDeleter>;

} // namespace qvp
