// Code page table and the decoders. iconv descriptors are cached per thread
// because the scan decodes many short strings.
#include "scan/TextDecoding.h"

#include <QHash>

#include <cerrno>
#include <iconv.h>

namespace tolvane {

namespace {

constexpr char16_t kReplacement = 0xFFFD;

struct CodePageName {
    int codePage;
    const char* iconvName;
    const char* mimeName;  // the name a MIME charset parameter gives it
};

// Windows code page numbers as mailboxes declare them. Latin-1 and US-ASCII
// labels decode (and are named) as 1252, its superset in practice; so are
// the Chinese code pages as GBK.
constexpr CodePageName kCodePages[] = {
    {437, "CP437", "IBM437"},          {737, "CP737", "cp737"},
    {775, "CP775", "IBM775"},          {850, "CP850", "IBM850"},
    {852, "CP852", "IBM852"},          {855, "CP855", "IBM855"},
    {857, "CP857", "IBM857"},          {860, "CP860", "IBM860"},
    {861, "CP861", "IBM861"},          {862, "CP862", "IBM862"},
    {863, "CP863", "IBM863"},          {864, "CP864", "IBM864"},
    {865, "CP865", "IBM865"},          {866, "CP866", "IBM866"},
    {869, "CP869", "IBM869"},          {874, "CP874", "windows-874"},
    {932, "CP932", "Shift_JIS"},       {936, "CP936", "GBK"},
    {949, "CP949", "EUC-KR"},          {950, "CP950", "Big5"},
    {1200, "UTF-16LE", "UTF-16LE"},    {1201, "UTF-16BE", "UTF-16BE"},
    {1250, "CP1250", "windows-1250"},  {1251, "CP1251", "windows-1251"},
    {1252, "CP1252", "windows-1252"},  {1253, "CP1253", "windows-1253"},
    {1254, "CP1254", "windows-1254"},  {1255, "CP1255", "windows-1255"},
    {1256, "CP1256", "windows-1256"},  {1257, "CP1257", "windows-1257"},
    {1258, "CP1258", "windows-1258"},  {1361, "JOHAB", "JOHAB"},
    {10000, "MACINTOSH", "macintosh"}, {10007, "MAC-CYRILLIC", "MAC-CYRILLIC"},
    {20127, "CP1252", "windows-1252"}, {20866, "KOI8-R", "KOI8-R"},
    {20932, "EUC-JP", "EUC-JP"},       {20936, "GBK", "GBK"},
    {21866, "KOI8-U", "KOI8-U"},       {28591, "CP1252", "windows-1252"},
    {28592, "ISO-8859-2", "ISO-8859-2"}, {28593, "ISO-8859-3", "ISO-8859-3"},
    {28594, "ISO-8859-4", "ISO-8859-4"}, {28595, "ISO-8859-5", "ISO-8859-5"},
    {28596, "ISO-8859-6", "ISO-8859-6"}, {28597, "ISO-8859-7", "ISO-8859-7"},
    {28598, "ISO-8859-8", "ISO-8859-8"}, {28599, "ISO-8859-9", "ISO-8859-9"},
    {28603, "ISO-8859-13", "ISO-8859-13"}, {28605, "ISO-8859-15", "ISO-8859-15"},
    {38598, "ISO-8859-8", "ISO-8859-8"}, {50220, "ISO-2022-JP", "ISO-2022-JP"},
    {50221, "ISO-2022-JP", "ISO-2022-JP"}, {50222, "ISO-2022-JP", "ISO-2022-JP"},
    {50225, "ISO-2022-KR", "ISO-2022-KR"}, {51932, "EUC-JP", "EUC-JP"},
    {51936, "GBK", "GBK"},             {51949, "EUC-KR", "EUC-KR"},
    {52936, "GBK", "GBK"},             {54936, "GB18030", "GB18030"},
    {65000, "UTF-7", "UTF-7"},         {65001, "UTF-8", "UTF-8"},
};

class IconvCache {
public:
    ~IconvCache()
    {
        for (iconv_t descriptor : descriptors_)
            iconv_close(descriptor);
    }
    // A descriptor from the named encoding to UTF-16LE, or (iconv_t)-1.
    iconv_t get(const QByteArray& name)
    {
        auto it = descriptors_.find(name);
        if (it != descriptors_.end()) {
            iconv(*it, nullptr, nullptr, nullptr, nullptr);  // back to the initial shift state
            return *it;
        }
        iconv_t descriptor = iconv_open("UTF-16LE", name.constData());
        if (descriptor != reinterpret_cast<iconv_t>(-1))
            descriptors_.insert(name, descriptor);
        return descriptor;
    }

private:
    QHash<QByteArray, iconv_t> descriptors_;
};

QString DecodeWithIconv(const char* data, qsizetype size, const QByteArray& iconvName)
{
    thread_local IconvCache cache;
    iconv_t descriptor = cache.get(iconvName);
    if (descriptor == reinterpret_cast<iconv_t>(-1))
        return QString();

    QByteArray utf16;
    char chunk[4096];
    char* input = const_cast<char*>(data);
    size_t inputLeft = static_cast<size_t>(size);
    const QByteArray replacement("\xFD\xFF", 2);
    while (inputLeft > 0) {
        char* output = chunk;
        size_t outputLeft = sizeof(chunk);
        const size_t result = iconv(descriptor, &input, &inputLeft, &output, &outputLeft);
        utf16.append(chunk, static_cast<qsizetype>(output - chunk));
        if (result != static_cast<size_t>(-1))
            continue;
        if (errno == E2BIG)
            continue;
        // An invalid or truncated sequence: mark it and go on after its first byte.
        utf16.append(replacement);
        ++input;
        --inputLeft;
        iconv(descriptor, nullptr, nullptr, nullptr, nullptr);
    }
    // Flush whatever a stateful encoding still holds.
    char* output = chunk;
    size_t outputLeft = sizeof(chunk);
    iconv(descriptor, nullptr, nullptr, &output, &outputLeft);
    utf16.append(chunk, static_cast<qsizetype>(output - chunk));
    return DecodeUtf16Le(utf16);
}

}  // namespace

QByteArray IconvNameForCodePage(int codePage)
{
    for (const CodePageName& entry : kCodePages) {
        if (entry.codePage == codePage)
            return QByteArray(entry.iconvName);
    }
    return QByteArray();
}

QByteArray MimeCharsetForCodePage(int codePage)
{
    for (const CodePageName& entry : kCodePages) {
        if (entry.codePage == codePage)
            return QByteArray(entry.mimeName);
    }
    return MimeCharsetForCodePage(kDefaultCodePage);
}

QString DecodeCodePage(const char* data, qsizetype size, int codePage)
{
    if (data == nullptr || size <= 0)
        return QString(u""_qs);
    switch (codePage) {
    case 65001:
        return DecodeUtf8(data, size);
    case 1200:
        return DecodeUtf16Le(data, size);
    default:
        break;
    }
    QByteArray name = IconvNameForCodePage(codePage);
    if (name.isEmpty())
        name = IconvNameForCodePage(kDefaultCodePage);
    QString text = DecodeWithIconv(data, size, name);
    if (text.isNull())
        text = DecodeWithIconv(data, size, IconvNameForCodePage(kDefaultCodePage));
    if (text.isNull())
        text = QString::fromLatin1(data, size);
    return text;
}

QString DecodeUtf16Le(const char* data, qsizetype size)
{
    if (data == nullptr || size <= 0)
        return QString(u""_qs);
    const auto* bytes = reinterpret_cast<const unsigned char*>(data);
    const qsizetype units = size / 2;
    // Every unit read gives one unit written (a lone surrogate becomes the
    // replacement character), so the text is written in place, without a
    // growing string.
    QString text(units + size % 2, Qt::Uninitialized);
    char16_t* out = reinterpret_cast<char16_t*>(text.data());
    const auto unitAt = [bytes](qsizetype index) {
        return static_cast<char16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8));
    };
    // Nearly every text has no surrogate at all: then it is copied whole
    // (a plain loop the compiler widens), and only else checked unit by unit.
    bool anySurrogate = false;
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = unitAt(i);
        out[i] = unit;
        anySurrogate |= (unit & 0xF800) == 0xD800;
    }
    if (!anySurrogate) {
        if (size % 2 != 0)
            out[units] = kReplacement;
        return text;
    }
    for (qsizetype i = 0; i < units; ++i) {
        const char16_t unit = unitAt(i);
        if (unit < 0xD800 || unit > 0xDFFF) {
            *out++ = unit;
        } else if (unit <= 0xDBFF && i + 1 < units && unitAt(i + 1) >= 0xDC00 && unitAt(i + 1) <= 0xDFFF) {
            *out++ = unit;
            *out++ = unitAt(++i);
        } else {
            *out++ = kReplacement;
        }
    }
    if (size % 2 != 0)
        *out++ = kReplacement;
    return text;
}

QString DecodeUtf8(const char* data, qsizetype size)
{
    if (data == nullptr || size <= 0)
        return QString(u""_qs);
    return QString::fromUtf8(data, size);
}

}  // namespace tolvane
