// The anonymous spill file of kept bodies.
#include "model/BodySpill.h"

#include "base/NativePath.h"
#include "base/ReadAt.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

BodySpill::BodySpill(QString directory)
    : directory_(std::move(directory))
{
}

BodySpill::~BodySpill()
{
    if (fd_ >= 0)
        ::close(fd_);
}

void BodySpill::UseDirectory(const QString& directory)
{
    std::lock_guard lock(mutex_);
    if (!tried_)
        directory_ = directory;
}

bool BodySpill::ensureOpen()
{
    if (tried_)
        return fd_ >= 0;
    if (directory_.isEmpty())
        return false;
    tried_ = true;
    const QByteArray path = NativePath(directory_);
#ifdef O_TMPFILE
    fd_ = ::open(path.constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
#endif
    if (fd_ < 0) {
        // File systems without unnamed files: make one and unlink it at once.
        QByteArray pattern = path + "/bodies-XXXXXX";
        fd_ = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd_ >= 0)
            ::unlink(pattern.constData());
    }
    return fd_ >= 0;
}

std::optional<int64_t> BodySpill::append(const QByteArray& bytes)
{
    int64_t offset = 0;
    int fd = -1;
    {
        std::lock_guard lock(mutex_);
        if (!ensureOpen())
            return std::nullopt;
        offset = end_;
        end_ += bytes.size();
        fd = fd_;
    }
    // Each caller owns its reserved range, so the writes need no lock.
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    int64_t at = offset;
    while (left > 0) {
        const ssize_t written = ::pwrite(fd, data, static_cast<size_t>(left), at);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return std::nullopt;  // the reserved range is simply never read
        data += written;
        left -= written;
        at += written;
    }
    return offset;
}

QByteArray BodySpill::read(int64_t offset, int32_t size) const
{
    if (fd_ < 0 || size <= 0)
        return QByteArray();
    QByteArray bytes(size, Qt::Uninitialized);
    const auto got = ReadAt(fd_, bytes.data(), size, offset);
    if (!got || *got != size)
        return QByteArray();
    return bytes;
}

}  // namespace tolvane
