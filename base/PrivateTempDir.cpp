// Creating and checking the private temporary directory. lstat, not stat: a
// symlink planted by someone else must never be followed.
#include "base/PrivateTempDir.h"

#include "base/NativePath.h"

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

// A refusal with the system's kind and the words shown to the user.
Unexpected<SystemError> Refused(SystemErrorKind kind, int error, const QString& text)
{
    return Failed(SystemError{kind, error, text});
}

}  // namespace

Expected<QString, SystemError> PrivateTempDir()
{
    const QString path = TempBase() + QStringLiteral("/tolvane-") + QString::number(::geteuid());
    const QByteArray encoded = NativePath(path);
    if (::mkdir(encoded.constData(), 0700) != 0 && errno != EEXIST)
        return Refused(SystemErrorKindOf(errno), errno, QStringLiteral("cannot create %1: %2").arg(path, ErrnoText(errno)));
    struct stat info {};
    if (::lstat(encoded.constData(), &info) != 0)
        return Refused(SystemErrorKindOf(errno), errno, QStringLiteral("cannot inspect %1: %2").arg(path, ErrnoText(errno)));
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode))
        return Refused(SystemErrorKind::Other, 0, QStringLiteral("%1 is not a plain directory").arg(path));
    if (info.st_uid != ::geteuid())
        return Refused(SystemErrorKind::Denied, 0, QStringLiteral("%1 belongs to another user").arg(path));
    if ((info.st_mode & 077) != 0 && ::chmod(encoded.constData(), 0700) != 0)
        return Refused(SystemErrorKindOf(errno), errno, QStringLiteral("cannot make %1 private").arg(path));
    return path;
}

}  // namespace tolvane
