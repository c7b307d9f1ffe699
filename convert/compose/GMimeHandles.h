// Owning handles for GMime and GLib objects, so every object the writer makes
// is released on every path.
#pragma once

#include <gmime/gmime.h>

#include <memory>

namespace tolvane {

struct GObjectRelease {
    void operator()(gpointer object) const
    {
        if (object)
            g_object_unref(object);
    }
};

template <typename T>
using GObjectPtr = std::unique_ptr<T, GObjectRelease>;

template <typename T>
GObjectPtr<T> AdoptGObject(T* object)
{
    return GObjectPtr<T>(object);
}

struct GDateTimeRelease {
    void operator()(GDateTime* value) const
    {
        if (value)
            g_date_time_unref(value);
    }
};
using GDateTimePtr = std::unique_ptr<GDateTime, GDateTimeRelease>;

struct GFreeRelease {
    void operator()(void* value) const { g_free(value); }
};
using GCharPtr = std::unique_ptr<char, GFreeRelease>;

struct FormatOptionsRelease {
    void operator()(GMimeFormatOptions* options) const
    {
        if (options)
            g_mime_format_options_free(options);
    }
};
using FormatOptionsPtr = std::unique_ptr<GMimeFormatOptions, FormatOptionsRelease>;

// Initialises GMime once per process; safe from any thread.
void EnsureGMimeReady();

}  // namespace tolvane
