// Reading the two ends of the mailbox file for its identity.
#include "convert/output/InputIdentity.h"

#include "convert/output/Sha256.h"
#include "scan/NativePath.h"
#include "scan/UniqueFd.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr qint64 kEndBytes = 1024 * 1024;

// Adds `length` bytes from `offset` to `hash`; false when they cannot all be read.
bool AddRange(int fd, qint64 offset, qint64 length, Sha256& hash)
{
    QByteArray buffer(static_cast<qsizetype>(length), Qt::Uninitialized);
    qint64 got = 0;
    while (got < length) {
        const ssize_t n = ::pread(fd, buffer.data() + got, static_cast<size_t>(length - got), offset + got);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        got += n;
    }
    hash.Add(buffer);
    return true;
}

}  // namespace

QJsonObject InputIdentity::ToJson() const
{
    return QJsonObject{{QStringLiteral("size"), size}, {QStringLiteral("endsSha256"), QString::fromLatin1(endsSha256)}};
}

std::optional<InputIdentity> InputIdentity::FromJson(const QJsonObject& object)
{
    const QJsonValue size = object.value(QStringLiteral("size"));
    const QJsonValue ends = object.value(QStringLiteral("endsSha256"));
    if (!size.isDouble() || !ends.isString())
        return std::nullopt;
    return InputIdentity{size.toInteger(), ends.toString().toLatin1()};
}

std::optional<InputIdentity> IdentityOfFile(const QString& path)
{
    const UniqueFd file(::open(NativePath(path).constData(), O_RDONLY | O_CLOEXEC));
    struct stat info {};
    if (!file || ::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    const qint64 size = info.st_size;
    Sha256 hash;
    const bool read = size <= 2 * kEndBytes ? AddRange(file.get(), 0, size, hash)
                                            : AddRange(file.get(), 0, kEndBytes, hash)
                                                  && AddRange(file.get(), size - kEndBytes, kEndBytes, hash);
    if (!read)
        return std::nullopt;
    return InputIdentity{size, hash.HexResult()};
}

}  // namespace tolvane
