// openat2 with RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH where the kernel has it,
// otherwise openat with O_NOFOLLOW | O_DIRECTORY on a single component,
// which gives the same guarantee for the one name it is asked to open.
#include "base/DirectoryAt.h"
#include "base/DirStream.h"
#include "base/NativePath.h"

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <linux/openat2.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

int OpenBeneath(int parentFd, const char* name)
{
#ifdef SYS_openat2
    open_how how {};
    how.flags = kDirectoryFlags;
    how.resolve = RESOLVE_NO_SYMLINKS | RESOLVE_BENEATH;
    const long fd = ::syscall(SYS_openat2, parentFd, name, &how, sizeof how);
    if (fd >= 0)
        return static_cast<int>(fd);
    // Kernels before 5.6 (ENOSYS) and sandboxes that filter the call (EPERM)
    // get the single-component openat below, which refuses the same things.
    if (errno != ENOSYS && errno != EPERM)
        return -1;
#endif
    return ::openat(parentFd, name, kDirectoryFlags);
}

// A name of one component: "", ".", ".." and anything with a slash would
// reach past the directory it is looked up in.
bool IsSingleComponent(const QByteArray& name)
{
    return !name.isEmpty() && name != "." && name != ".." && !name.contains('/');
}

// The descriptor, or the errno of the call that should have made it.
OpenedDirectory Opened(int fd)
{
    if (fd < 0)
        return Failed(SystemError::FromErrno(errno));
    return UniqueFd(fd);
}

}  // namespace

OpenedDirectory OpenDirectoryPath(const QString& path)
{
    const QByteArray native = NativePath(path);
    if (native.isEmpty())
        return Failed(SystemError::FromErrno(ENOENT));
    return Opened(::open(native.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

OpenedDirectory OpenDirectoryBeneath(int parentFd, const QByteArray& name)
{
    if (!IsSingleComponent(name))
        return Failed(SystemError::FromErrno(EINVAL));
    return Opened(OpenBeneath(parentFd, name.constData()));
}

OpenedDirectory MakeDirectoryBeneath(int parentFd, const QByteArray& name)
{
    if (!IsSingleComponent(name))
        return Failed(SystemError::FromErrno(EINVAL));
    if (::mkdirat(parentFd, name.constData(), 0777) != 0)
        return Failed(SystemError::FromErrno(errno));
    OpenedDirectory directory = OpenDirectoryBeneath(parentFd, name);
    if (!directory)
        return directory;
    // Between mkdirat and the open, someone able to write the parent could
    // have put a directory of their own under the name.
    struct stat info {};
    if (::fstat(directory->get(), &info) != 0)
        return Failed(SystemError::FromErrno(errno));
    if (info.st_uid != ::geteuid())
        return Failed(SystemError::FromErrno(EEXIST));
    return directory;
}

Expected<std::vector<QByteArray>, SystemError> SortedEntryNames(int directoryFd)
{
    const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    DirStream stream(copy >= 0 ? ::fdopendir(copy) : nullptr);
    if (!stream) {
        const int error = errno;
        if (copy >= 0)
            ::close(copy);
        return Failed(SystemError::FromErrno(error));
    }
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(stream.get())) {
        const QByteArray name(entry->d_name);
        if (name != "." && name != "..")
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace tolvane
