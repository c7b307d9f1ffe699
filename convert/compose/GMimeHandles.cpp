// GMime's one-time set-up for the whole process, with the charset converters
// it keeps loaded for as long as the process runs.
#include "convert/compose/GMimeHandles.h"

#include <iconv.h>

#include <mutex>
#include <vector>

namespace tolvane {

namespace {

// GMime opens and closes an iconv converter for every header it encodes, to
// the charset it finds best for the text. glibc unloads a converter's module
// soon after its last user closes it, so messages in alternating languages
// load and unload modules all the time (a tenth of the composing time on a
// mixed mailbox). One open converter per likely charset, held for the
// process's lifetime, keeps those modules loaded.
void KeepCharsetModulesLoaded()
{
    static const char* const kCharsets[] = {
        "ISO-8859-1",   "ISO-8859-2",   "ISO-8859-3",   "ISO-8859-4",   "ISO-8859-5",   "ISO-8859-6",
        "ISO-8859-7",   "ISO-8859-8",   "ISO-8859-9",   "ISO-8859-10",  "ISO-8859-13",  "ISO-8859-14",
        "ISO-8859-15",  "ISO-8859-16",  "KOI8-R",       "KOI8-U",       "WINDOWS-1250", "WINDOWS-1251",
        "WINDOWS-1252", "WINDOWS-1253", "WINDOWS-1254", "WINDOWS-1255", "WINDOWS-1256", "WINDOWS-1257",
        "WINDOWS-1258", "TIS-620",      "ISO-2022-JP",  "EUC-JP",       "SHIFT_JIS",    "EUC-KR",
        "ISO-2022-KR",  "GB2312",       "GBK",          "GB18030",      "BIG5",         "UTF-7"};
    static std::vector<iconv_t> held;
    for (const char* charset : kCharsets) {
        const iconv_t converter = iconv_open(charset, "UTF-8");
        if (converter != reinterpret_cast<iconv_t>(-1))
            held.push_back(converter);
    }
}

// GObject makes a type's class the first time an object of it is made, under
// a lock of its own; the type checks the composer inlines (GMIME_IS_PART,
// ...) then read the class with no lock at all. Made here, before any
// composing thread starts, every class those checks meet is complete and
// visible to every thread from the start, whichever thread composes first.
// The references are held for the process's lifetime.
void MakeComposerClasses()
{
    const GType types[] = {
        g_mime_message_get_type(),     g_mime_message_part_get_type(), g_mime_multipart_get_type(),
        g_mime_part_get_type(),        g_mime_text_part_get_type(),    g_mime_stream_mem_get_type(),
        g_mime_stream_fs_get_type(),   g_mime_stream_filter_get_type(), g_mime_data_wrapper_get_type(),
        g_mime_object_get_type(),      internet_address_list_get_type(), internet_address_get_type(),
        internet_address_mailbox_get_type(), internet_address_group_get_type(),
    };
    for (const GType type : types)
        (void)g_type_class_ref(type);
}

}  // namespace

void EnsureGMimeReady()
{
    static std::once_flag once;
    std::call_once(once, [] {
        g_mime_init();
        KeepCharsetModulesLoaded();
        MakeComposerClasses();
    });
}

}  // namespace tolvane
