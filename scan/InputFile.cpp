// Checking the input file with plain system calls: stat before open, so a
// socket or a FIFO is named for what it is, and fstat after it, so the file
// that was opened is the file that was judged.
#include "scan/InputFile.h"

#include "base/NativePath.h"
#include "base/ReadAt.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

// What a non-regular file is, in words; empty for a regular file.
QString KindOfNonRegular(mode_t mode)
{
    if (S_ISREG(mode))
        return QString();
    if (S_ISDIR(mode))
        return QStringLiteral("a directory");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO (named pipe)");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    return QStringLiteral("not a plain file");
}

bool IsResourceError(int error)
{
    return error == ENOMEM || error == EMFILE || error == ENFILE;
}

InputFileCheck Failed(int error, const QString& path)
{
    InputFileCheck check;
    const QString system = ErrnoText(error);
    if (IsResourceError(error)) {
        check.state = InputFileState::NoResources;
        check.reason = QStringLiteral("not enough memory or system resources to open %1: %2").arg(path, system);
    } else {
        check.reason = QStringLiteral("cannot open %1: %2").arg(path, system);
    }
    return check;
}

InputFileCheck NotRegular(const QString& path, const QString& kind)
{
    InputFileCheck check;
    check.reason = QStringLiteral("cannot open %1: it is %2, not a regular file").arg(path, kind);
    return check;
}

// Closes the descriptor when the check is done with it.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    ~Descriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    int get() const { return fd_; }

private:
    int fd_;
};

}  // namespace

FileIdentity FileIdentity::Of(const struct stat& info)
{
    FileIdentity identity;
    identity.device = info.st_dev;
    identity.inode = info.st_ino;
    identity.size = info.st_size;
    identity.modified = info.st_mtim;
    return identity;
}

bool FileIdentity::operator==(const FileIdentity& other) const
{
    return device == other.device && inode == other.inode && size == other.size
           && modified.tv_sec == other.modified.tv_sec && modified.tv_nsec == other.modified.tv_nsec;
}

std::optional<QString> FileChangedSinceScan(const QString& path, const FileIdentity& scanned, const FileIdentity& now)
{
    if (now == scanned)
        return std::nullopt;
    if (now.device != scanned.device || now.inode != scanned.inode)
        return QStringLiteral("%1 is no longer the file that was scanned: it was replaced meanwhile; scan it again")
            .arg(path);
    return QStringLiteral("%1 was changed after it was scanned (its size or modification time differs); scan it again")
        .arg(path);
}

InputFileCheck CheckInputFile(const QString& path, qsizetype headerBytes)
{
    const QByteArray native = NativePath(path);
    struct stat info {};
    if (::stat(native.constData(), &info) != 0)
        return Failed(errno, path);
    if (const QString kind = KindOfNonRegular(info.st_mode); !kind.isEmpty())
        return NotRegular(path, kind);

    // O_NONBLOCK: should the name have become a FIFO since the stat, open still returns at once.
    const Descriptor fd(::open(native.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0)
        return Failed(errno, path);
    if (::fstat(fd.get(), &info) != 0)
        return Failed(errno, path);
    if (const QString kind = KindOfNonRegular(info.st_mode); !kind.isEmpty())
        return NotRegular(path, kind);

    InputFileCheck check;
    check.header.resize(headerBytes);
    const auto filled = ReadAt(fd.get(), check.header.data(), headerBytes, 0);
    if (!filled)
        return Failed(filled.error().code, path);
    check.header.truncate(*filled);
    check.identity = FileIdentity::Of(info);
    check.state = InputFileState::Readable;
    return check;
}

}  // namespace tolvane
