// Reading the two ends of the mailbox file for its identity.
#include "convert/output/InputIdentity.h"

#include "convert/output/Sha256.h"
#include "base/NativePath.h"
#include "base/ReadAt.h"
#include "base/UniqueFd.h"

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
    const auto got = ReadAt(fd, buffer.data(), length, offset);
    if (!got || *got != length)
        return false;
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
