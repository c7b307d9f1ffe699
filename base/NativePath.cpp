// The lossless byte <-> QString mapping of file names.
#include "base/NativePath.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace tolvane {

namespace {

constexpr char16_t kEscapeBase = 0xDC00;

bool IsEscapedByte(char16_t unit)
{
    return unit >= kEscapeBase + 0x80 && unit <= kEscapeBase + 0xFF;
}

// Length of the valid UTF-8 sequence starting at bytes[i], 0 when invalid,
// and the code point it stands for in `decoded`. Overlong forms, surrogates
// and values above U+10FFFF are invalid.
qsizetype ValidSequenceLength(QByteArrayView bytes, qsizetype i, char32_t* decoded)
{
    const auto at = [&](qsizetype k) { return static_cast<unsigned char>(bytes[k]); };
    const unsigned char lead = at(i);
    qsizetype length = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
        *decoded = lead;
        return 1;
    }
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, value = lead & 0x1F, minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, value = lead & 0x0F, minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, value = lead & 0x07, minimum = 0x10000;
    } else {
        return 0;
    }
    if (i + length > bytes.size())
        return 0;
    for (qsizetype k = 1; k < length; ++k) {
        if ((at(i + k) & 0xC0) != 0x80)
            return 0;
        value = (value << 6) | (at(i + k) & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
        return 0;
    *decoded = value;
    return length;
}

}  // namespace

QString PathFromNative(QByteArrayView bytes)
{
    QString path;
    path.reserve(bytes.size());
    qsizetype i = 0;
    while (i < bytes.size()) {
        // Each code point is appended as it is: a UTF-8 decoder would drop a
        // byte-order mark (U+FEFF) at the start of what it is given.
        char32_t value = 0;
        const qsizetype length = ValidSequenceLength(bytes, i, &value);
        if (length == 0) {
            path.append(QChar(static_cast<char16_t>(kEscapeBase + static_cast<unsigned char>(bytes[i]))));
            ++i;
        } else if (QChar::requiresSurrogates(value)) {
            path.append(QChar(QChar::highSurrogate(value)));
            path.append(QChar(QChar::lowSurrogate(value)));
            i += length;
        } else {
            path.append(QChar(static_cast<char16_t>(value)));
            i += length;
        }
    }
    return path;
}

QByteArray NativePath(const QString& path)
{
    if (!HasUndecodableBytes(path))
        return path.toUtf8();
    QByteArray bytes;
    bytes.reserve(path.size());
    qsizetype start = 0;
    for (qsizetype i = 0; i <= path.size(); ++i) {
        // A lone low surrogate cannot follow a high one; one after a high surrogate is half a pair.
        const bool escaped = i < path.size() && IsEscapedByte(path.at(i).unicode()) &&
                             (i == 0 || !path.at(i - 1).isHighSurrogate());
        if (i < path.size() && !escaped)
            continue;
        bytes.append(QStringView(path).sliced(start, i - start).toUtf8());
        if (i < path.size())
            bytes.append(static_cast<char>(path.at(i).unicode() - kEscapeBase));
        start = i + 1;
    }
    return bytes;
}

bool HasUndecodableBytes(const QString& path)
{
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (IsEscapedByte(path.at(i).unicode()) && (i == 0 || !path.at(i - 1).isHighSurrogate()))
            return true;
    }
    return false;
}

bool IsDirectory(const QString& path)
{
    struct stat info {};
    return ::stat(NativePath(path).constData(), &info) == 0 && S_ISDIR(info.st_mode);
}

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

}  // namespace tolvane
