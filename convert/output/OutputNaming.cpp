// File and directory naming for the conversion output.
#include "convert/output/OutputNaming.h"
#include "base/NativePath.h"

#include "base/DirectoryAt.h"
#include "convert/output/NewFileWriter.h"

#include <QStringList>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr int kMaxNameBytes = 255;

bool IsUnsafeInName(QChar c)
{
    const char16_t u = c.unicode();
    return u < 0x20 || u == 0x7F || u == u'/' || (u >= 0x80 && u < 0xA0);
}

// Longest prefix of text whose bytes on disk (NativePath) fit in maxBytes,
// never splitting a character: UTF-8 sequences and surrogate pairs stay whole,
// and a byte of a name that was not UTF-8 (U+DC80..U+DCFF) is one byte.
QString CutToBytes(const QString& text, int maxBytes)
{
    int bytes = 0;
    int i = 0;
    while (i < text.size()) {
        const bool pair = text.at(i).isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate();
        const char32_t code = pair ? QChar::surrogateToUcs4(text.at(i), text.at(i + 1)) : text.at(i).unicode();
        const bool rawByte = code >= 0xDC80 && code <= 0xDCFF;
        const int need = code < 0x80 || rawByte ? 1 : code < 0x800 ? 2 : code < 0x10000 ? 3 : 4;
        if (bytes + need > maxBytes)
            break;
        bytes += need;
        i += pair ? 2 : 1;
    }
    return text.left(i);
}

QString ReplaceUnsafe(const QString& text)
{
    QString out = WithoutLoneSurrogates(text, u'-');
    for (QChar& c : out) {
        if (IsUnsafeInName(c))
            c = u'-';
    }
    return out;
}

// A real name that would read as one of the writer's temporaries gets a "_"
// in front, so the clean-up of a killed run can never take it for one.
QString KeptClearOfTemporaries(const QString& name)
{
    if (!name.startsWith(QLatin1String(kPartialFilePrefix)))
        return name;
    return CutToBytes(u'_' + name, kMaxNameBytes);
}

}  // namespace

QString WithoutLoneSurrogates(const QString& text, QChar replacement)
{
    QString out = text;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const bool paired = c.isHighSurrogate() ? i + 1 < text.size() && text.at(i + 1).isLowSurrogate()
                                                : i > 0 && text.at(i - 1).isHighSurrogate();
        if (c.isSurrogate() && !paired)
            out[i] = replacement;
    }
    return out;
}

QString SafeComponent(const QString& text)
{
    QString out = CutToBytes(ReplaceUnsafe(text), kMaxNameBytes);
    if (out.isEmpty())
        return QStringLiteral("-");
    if (out == QLatin1String(".") || out == QLatin1String(".."))
        out.fill(u'-');
    return KeptClearOfTemporaries(out);
}

QString NumberedComponent(const QString& component, int number)
{
    if (number <= 1)
        return component;
    const QString suffix = u'-' + QString::number(number);
    return CutToBytes(component, kMaxNameBytes - static_cast<int>(suffix.size())) + suffix;
}

QString DirectoryForFolderKey(const QString& outputRoot, const QString& folderKey)
{
    QString path = outputRoot;
    const QStringList parts = folderKey.split(u'\\', Qt::SkipEmptyParts);
    for (const QString& part : parts) {
        if (part == QLatin1String("."))
            continue;
        path += u'/';
        path += SafeComponent(part);
    }
    return path;
}

QString MailNameText(const QString& subject)
{
    return subject.isNull() ? QStringLiteral("Unknown <Unknown>") : subject;
}

QString FileNameFor(const QString& nameText, const QString& number, const QString& extension, int duplicate)
{
    QString tail = number;
    if (duplicate > 1)
        tail += u'-' + QString::number(duplicate);
    tail += extension;
    const int tailBytes = static_cast<int>(tail.toUtf8().size());
    QString name = CutToBytes(ReplaceUnsafe(nameText), kMaxNameBytes - tailBytes);
    if (name.startsWith(QLatin1String(kPartialFilePrefix)))
        name = CutToBytes(u'_' + name, kMaxNameBytes - tailBytes);
    QString whole = name + tail;
    // A name that would read as "." or ".." cannot happen: the tail is never empty.
    if (whole.startsWith(u'.') && name.isEmpty())
        whole.prepend(u'-');
    return whole;
}

namespace {

// Removes everything inside the directory open as `directory`, by the bytes
// of each name as the listing gives them; false at the first failure.
bool EmptyDirectory(int directory)
{
    const auto names = SortedEntryNames(directory);
    if (!names)
        return false;
    for (const QByteArray& name : *names) {
        struct stat info {};
        if (::fstatat(directory, name.constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
            return false;
        if (S_ISDIR(info.st_mode)) {
            const OpenedDirectory child = OpenDirectoryBeneath(directory, name);
            if (!child || !EmptyDirectory(child->get()) || ::unlinkat(directory, name.constData(), AT_REMOVEDIR) != 0)
                return false;
        } else if (::unlinkat(directory, name.constData(), 0) != 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

int RemoveFolderTree(const QString& path)
{
    const QByteArray native = NativePath(path);
    struct stat info {};
    if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode))
        return 0;
    const UniqueFd directory(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!directory || !EmptyDirectory(directory.get()))
        return 0;
    return ::rmdir(native.constData()) == 0 ? 1 : 0;
}

}  // namespace tolvane
