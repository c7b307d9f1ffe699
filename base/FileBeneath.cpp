// Opening a listed file below the output folder's descriptor.
#include "base/FileBeneath.h"

#include "base/DirectoryAt.h"
#include "base/NativePath.h"

#include <QByteArrayList>

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace tolvane {

EntryKind EntryKindOf(mode_t mode)
{
    if (S_ISREG(mode))
        return EntryKind::RegularFile;
    if (S_ISDIR(mode))
        return EntryKind::Directory;
    if (S_ISLNK(mode))
        return EntryKind::SymbolicLink;
    if (S_ISFIFO(mode))
        return EntryKind::Fifo;
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return EntryKind::Device;
    if (S_ISSOCK(mode))
        return EntryKind::Socket;
    return EntryKind::Other;
}

FileBeneath OpenFileBeneath(int rootFd, const QString& relativePath)
{
    FileBeneath result;
    const QByteArrayList names = NativePath(relativePath).split('/');
    for (const QByteArray& name : names) {
        if (name.isEmpty() || name == "." || name == "..") {
            result.status = FileBeneath::Status::NotAPath;
            return result;
        }
    }
    UniqueFd directory;
    int at = rootFd;
    for (qsizetype i = 0; i + 1 < names.size(); ++i) {
        OpenedDirectory next = OpenDirectoryBeneath(at, names[i]);
        if (!next) {
            result.error = next.error().code;
            result.status = result.error == ENOENT                               ? FileBeneath::Status::Missing
                            : result.error == ELOOP || result.error == ENOTDIR   ? FileBeneath::Status::BrokenWay
                                                                                 : FileBeneath::Status::Unreadable;
            return result;
        }
        directory = std::move(*next);
        at = directory.get();
    }
    const QByteArray& name = names.last();
    // Looked at before it is opened: opening a FIFO or a device can block
    // or do something to the device.
    struct stat before {};
    if (::fstatat(at, name.constData(), &before, AT_SYMLINK_NOFOLLOW) != 0) {
        result.error = errno;
        result.status = result.error == ENOENT ? FileBeneath::Status::Missing : FileBeneath::Status::Unreadable;
        return result;
    }
    result.kind = EntryKindOf(before.st_mode);
    if (result.kind != EntryKind::RegularFile) {
        result.status = FileBeneath::Status::NotRegular;
        return result;
    }
    // It may have been swapped since: the open itself refuses a link and
    // does not wait on a FIFO, and what was opened is looked at again.
    UniqueFd file(::openat(at, name.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file) {
        result.error = errno;
        result.status = result.error == ENOENT   ? FileBeneath::Status::Missing
                        : result.error == ELOOP ? FileBeneath::Status::NotRegular
                                                : FileBeneath::Status::Unreadable;
        if (result.error == ELOOP)
            result.kind = EntryKind::SymbolicLink;
        return result;
    }
    struct stat opened {};
    if (::fstat(file.get(), &opened) != 0) {
        result.error = errno;
        result.status = FileBeneath::Status::Unreadable;
        return result;
    }
    result.kind = EntryKindOf(opened.st_mode);
    if (result.kind != EntryKind::RegularFile) {
        result.status = FileBeneath::Status::NotRegular;
        return result;
    }
    result.status = FileBeneath::Status::Opened;
    result.file = std::move(file);
    return result;
}

}  // namespace tolvane
