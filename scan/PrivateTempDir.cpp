// Creating and checking the private temporary directory. lstat, not stat: a
// symlink planted by someone else must never be followed.
#include "scan/PrivateTempDir.h"

#include "scan/NativePath.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

QString TempBase()
{
    const char* fromEnvironment = std::getenv("TMPDIR");
    if (fromEnvironment != nullptr && fromEnvironment[0] == '/') {
        struct stat info {};
        QString base = PathFromNative(fromEnvironment);
        // A name that is not valid UTF-8 could not be handed to the parts that
        // open files through Qt (previews, clean-up): such a TMPDIR is passed over.
        if (!HasUndecodableBytes(base) && ::stat(fromEnvironment, &info) == 0 && S_ISDIR(info.st_mode)) {
            while (base.size() > 1 && base.endsWith(u'/'))
                base.chop(1);
            return base;
        }
    }
    return QStringLiteral("/tmp");
}

void SetError(QString* error, const QString& text)
{
    if (error != nullptr)
        *error = text;
}

}  // namespace

std::optional<QString> PrivateTempDir(QString* error)
{
    const QString path = TempBase() + QStringLiteral("/tolvane-") + QString::number(::geteuid());
    const QByteArray encoded = NativePath(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST) {
        SetError(error, QStringLiteral("cannot create %1: %2").arg(path, ErrnoText(errno)));
        return std::nullopt;
    }
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0) {
        SetError(error, QStringLiteral("cannot inspect %1: %2").arg(path, ErrnoText(errno)));
        return std::nullopt;
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        SetError(error, QStringLiteral("%1 is not a plain directory").arg(path));
        return std::nullopt;
    }
    if (info.st_uid != ::geteuid()) {
        SetError(error, QStringLiteral("%1 belongs to another user").arg(path));
        return std::nullopt;
    }
    if ((info.st_mode & 077) != 0 && ::chmod(encoded.constData(), 0700) != 0) {
        SetError(error, QStringLiteral("cannot make %1 private").arg(path));
        return std::nullopt;
    }
    return path;
}

}  // namespace tolvane
