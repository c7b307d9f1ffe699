// Temporary file + no-replace rename, so a crash or a full disk never leaves a
// truncated message under a real name and an existing file is never replaced.
#include "NewFileWriter.h"

#include "NativePath.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

QString ErrnoText(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

bool WriteAll(int fd, const char* data, qsizetype size, int* error)
{
    while (size > 0) {
        const ssize_t written = ::write(fd, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR)
                continue;
            *error = errno;
            return false;
        }
        data += written;
        size -= written;
    }
    return true;
}

// rename() that fails with EEXIST instead of replacing the target.
int RenameNoReplace(const char* from, const char* to)
{
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE) == 0)
        return 0;
    if (errno != EINVAL && errno != ENOSYS)
        return -1;
#endif
    // File systems without the flag: a hard link never replaces either.
    if (::link(from, to) != 0)
        return -1;
    ::unlink(from);
    return 0;
}

}  // namespace

NewFileResult WriteNewFile(const QString& directory, const std::function<QString(int)>& nameForAttempt,
                           const QByteArray& content)
{
    NewFileResult result;
    QByteArray pattern = NativePath(directory) + "/.tolvane-partial-XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) {
        result.reason = ErrnoText(errno);
        return result;
    }
    int error = 0;
    bool ok = WriteAll(fd, content.constData(), content.size(), &error);
    if (::close(fd) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok) {
        ::unlink(pattern.constData());
        result.reason = ErrnoText(error);
        return result;
    }
    ::fchmodat(AT_FDCWD, pattern.constData(), 0644, 0);
    for (int attempt = 1; attempt < 100000; ++attempt) {
        const QString path = directory + u'/' + nameForAttempt(attempt);
        const QByteArray target = NativePath(path);
        if (RenameNoReplace(pattern.constData(), target.constData()) == 0) {
            result.saved = true;
            result.path = path;
            return result;
        }
        if (errno != EEXIST) {
            error = errno;
            ::unlink(pattern.constData());
            result.reason = ErrnoText(error);
            return result;
        }
    }
    ::unlink(pattern.constData());
    result.reason = QStringLiteral("no free file name");
    return result;
}

}  // namespace tolvane
