// A temporary in the target directory + a link or rename that never
// replaces, so a crash or a full disk never leaves a truncated message under
// a real name and an existing file is never replaced. The unnamed temporary
// (O_TMPFILE) disappears by itself when the process dies; the named one is
// the fallback for file systems without it, and its leftovers are removed by
// the next run (PartialFileSweeper).
#include "convert/output/NewFileWriter.h"
#include "base/NativePath.h"

#include "base/DirectoryAt.h"
#include "base/ReadAt.h"
#include "base/UniqueFd.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <cstdio>
#include <optional>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr int kMaxNameAttempts = 100000;
constexpr int kMaxTemporaryAttempts = 100;

SaveResult Saved(const QString& directoryPath, const QString& name)
{
    SavedFile saved;
    saved.path = directoryPath + u'/' + name;
    return saved;
}

// Runs the content writer; a failure is the content's, with a reason.
WriteStep WriteContent(const ContentWriter& content, int fd)
{
    WriteStep written = content(fd);
    if (written)
        return written;
    const QString& why = written.error().reason;
    return NotSaved(WriteFailure::Content, why.isEmpty() ? QStringLiteral("the content could not be written") : why);
}

// rename() that fails with EEXIST instead of replacing the target.
int RenameNoReplaceAt(int directoryFd, const char* from, const char* to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(directoryFd, from, directoryFd, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // File systems without the flag: a hard link never replaces either.
    if (::linkat(directoryFd, from, directoryFd, to, 0) != 0)
        return -1;
    ::unlinkat(directoryFd, from, 0);
    return 0;
}

}  // namespace

QByteArray NewTemporaryName()
{
    static constexpr char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    QByteArray name(kPartialFilePrefix);
    for (int i = 0; i < 6; ++i)
        name += kLetters[QRandomGenerator::global()->bounded(int(sizeof kLetters - 1))];
    return name;
}

namespace {

// The unnamed temporary. nullopt when this file system refuses O_TMPFILE.
std::optional<SaveResult> WriteUnnamed(int directoryFd, const QString& directoryPath,
                                          const NameForAttempt& nameForAttempt, const ContentWriter& content)
{
    UniqueFd fd(::openat(directoryFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666));
    if (!fd) {
        // EISDIR: a kernel that does not know the flag; the others: a file system without it.
        if (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)
            return std::nullopt;
        return NotSaved(WriteFailure::FileSystem, ErrnoText(errno));
    }
    if (WriteStep written = WriteContent(content, fd.get()); !written)
        return Failed(written.error());  // closing fd drops the unnamed file
    char procPath[64];
    std::snprintf(procPath, sizeof procPath, "/proc/self/fd/%d", fd.get());
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QString name = nameForAttempt(attempt);
        const QByteArray target = NativePath(name);
        if (::linkat(AT_FDCWD, procPath, directoryFd, target.constData(), AT_SYMLINK_FOLLOW) == 0) {
            if (fd.close() != 0) {
                const int error = errno;
                ::unlinkat(directoryFd, target.constData(), 0);
                return NotSaved(WriteFailure::FileSystem, ErrnoText(error));
            }
            return Saved(directoryPath, name);
        }
        if (errno != EEXIST)
            return NotSaved(WriteFailure::FileSystem, ErrnoText(errno));
    }
    return NotSaved(WriteFailure::NoFreeName, QStringLiteral("no free file name"));
}

SaveResult WriteNamed(int directoryFd, const QString& directoryPath, const NameForAttempt& nameForAttempt,
                      const ContentWriter& content)
{
    QByteArray temporary;
    UniqueFd fd;
    for (int attempt = 0; attempt < kMaxTemporaryAttempts && !fd; ++attempt) {
        temporary = NewTemporaryName();
        fd.reset(::openat(directoryFd, temporary.constData(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          0666));
        if (!fd && errno != EEXIST)
            break;
    }
    if (!fd)
        return NotSaved(WriteFailure::FileSystem, ErrnoText(errno));
    WriteStep written = WriteContent(content, fd.get());
    if (fd.close() != 0 && written)
        written = NotSaved(WriteFailure::FileSystem, ErrnoText(errno));
    if (!written) {
        ::unlinkat(directoryFd, temporary.constData(), 0);
        return Failed(written.error());
    }
    for (int attempt = 1; attempt <= kMaxNameAttempts; ++attempt) {
        const QString name = nameForAttempt(attempt);
        const QByteArray target = NativePath(name);
        if (RenameNoReplaceAt(directoryFd, temporary.constData(), target.constData()) == 0)
            return Saved(directoryPath, name);
        if (errno != EEXIST) {
            const int error = errno;
            ::unlinkat(directoryFd, temporary.constData(), 0);
            return NotSaved(WriteFailure::FileSystem, ErrnoText(error));
        }
    }
    ::unlinkat(directoryFd, temporary.constData(), 0);
    return NotSaved(WriteFailure::NoFreeName, QStringLiteral("no free file name"));
}

}  // namespace

namespace {

constexpr QByteArrayView kScratchMark = "scratch-";

bool AllDigits(QByteArrayView text)
{
    return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

bool AllLettersOrDigits(QByteArrayView text)
{
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

}  // namespace

QByteArray ScratchTemporaryName(qint64 processId, int attempt)
{
    return QByteArray(kPartialFilePrefix) + kScratchMark.toByteArray() + QByteArray::number(processId) + '-'
           + QByteArray::number(attempt);
}

bool IsWriterTemporaryName(const char* name)
{
    const QByteArrayView whole(name);
    if (!whole.startsWith(QByteArrayView(kPartialFilePrefix)))
        return false;
    const QByteArrayView rest = whole.sliced(qsizetype(std::strlen(kPartialFilePrefix)));
    if (rest.size() == 6)
        return AllLettersOrDigits(rest);
    if (!rest.startsWith(kScratchMark))
        return false;
    const QByteArrayView numbers = rest.sliced(kScratchMark.size());
    const qsizetype dash = numbers.indexOf('-');
    return dash >= 0 && AllDigits(numbers.first(dash)) && AllDigits(numbers.sliced(dash + 1));
}

ContentWriter BytesWriter(const QByteArray& content)
{
    return [&content](int fd) { return WriteAllTo(fd, content.constData(), content.size()); };
}

WriteStep WriteAllTo(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return NotSaved(WriteFailure::Content, ErrnoText(errno));
        }
        data += written;
        size -= written;
    }
    return {};
}

WriteStep CopyWholeFileTo(int from, int to)
{
    off_t at = 0;
    // copy_file_range leaves the data in the kernel (and may share blocks on
    // file systems that can); where it cannot be used, plain reads and writes.
    for (;;) {
        const ssize_t copied = ::copy_file_range(from, &at, to, nullptr, 1 << 30, 0);
        if (copied > 0)
            continue;
        if (copied == 0)
            return {};
        if (errno == EINTR)
            continue;
        if (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP || errno == EBADF)
            break;
        return NotSaved(WriteFailure::Content, ErrnoText(errno));
    }
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const auto got = ReadAt(from, buffer.data(), static_cast<qint64>(buffer.size()), at);
        if (!got)
            return NotSaved(WriteFailure::Content, got.error().reason);
        if (*got == 0)
            return {};
        at += *got;
        if (WriteStep written = WriteAllTo(to, buffer.data(), *got); !written)
            return written;
    }
}

SaveResult WriteNewFileAt(int directoryFd, const QString& directoryPath, const NameForAttempt& nameForAttempt,
                          const ContentWriter& content, TemporaryKind kind)
{
    // The unnamed file gets its name through /proc/self/fd; without /proc
    // (some containers) only the named temporary works.
    // Asked once: whether /proc is there does not change while the process runs.
    static const bool procAvailable = ::access("/proc/self/fd", X_OK) == 0;
    if (kind == TemporaryKind::UnnamedWhereSupported && procAvailable) {
        if (auto result = WriteUnnamed(directoryFd, directoryPath, nameForAttempt, content))
            return *result;
    }
    return WriteNamed(directoryFd, directoryPath, nameForAttempt, content);
}

SaveResult WriteNewFileAt(int directoryFd, const QString& directoryPath, const NameForAttempt& nameForAttempt,
                          const QByteArray& content, TemporaryKind kind)
{
    return WriteNewFileAt(directoryFd, directoryPath, nameForAttempt, BytesWriter(content), kind);
}

SaveResult WriteNewFile(const QString& directory, const NameForAttempt& nameForAttempt,
                        const ContentWriter& content)
{
    const UniqueFd fd(::open(NativePath(directory).constData(),
                             O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!fd)
        return NotSaved(WriteFailure::NoDirectory, ErrnoText(errno));
    return WriteNewFileAt(fd.get(), directory, nameForAttempt, content);
}

SaveResult WriteNewFile(const QString& directory, const NameForAttempt& nameForAttempt, const QByteArray& content)
{
    return WriteNewFile(directory, nameForAttempt, BytesWriter(content));
}

}  // namespace tolvane
