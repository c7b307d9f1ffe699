// Making, sweeping and removing the per-process temporary directories. Every
// removal walks through directory descriptors opened with O_NOFOLLOW, so a
// symbolic link inside (or in place of) a directory is removed as a link and
// never followed out of the per-user directory.
#include "base/ProcessTempDir.h"

#include "base/DirStream.h"
#include "base/NativePath.h"
#include "base/PrivateTempDir.h"
#include "base/UniqueFd.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr int kDirectoryFlags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// The process id of a name "<digits>-<letters and digits>", or 0 for any other name.
pid_t ProcessOfName(const char* name)
{
    const char* at = name;
    pid_t pid = 0;
    while (*at >= '0' && *at <= '9') {
        if (pid > 0x3fffffff / 10)
            return 0;
        pid = pid * 10 + (*at - '0');
        ++at;
    }
    if (at == name || *at != '-' || at[1] == '\0')
        return 0;
    for (++at; *at != '\0'; ++at) {
        const bool alphanumeric = (*at >= '0' && *at <= '9') || (*at >= 'a' && *at <= 'z') || (*at >= 'A' && *at <= 'Z');
        if (!alphanumeric)
            return 0;
    }
    return pid;
}

// A stream over the entries of `directory`; the descriptor stays with the caller.
DirStream ListEntries(int directory)
{
    const int copy = ::fcntl(directory, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return DirStream();
    DirStream entries(::fdopendir(copy));
    if (!entries)
        ::close(copy);
    return entries;
}

// Removes the directory `name` inside `parent` with everything in it. Entries
// that cannot be removed stay; false when anything stayed.
bool RemoveTreeAt(int parent, const char* name)
{
    UniqueFd directory(::openat(parent, name, kDirectoryFlags));
    if (!directory)
        return false;
    const DirStream entries = ListEntries(directory.get());
    if (!entries)
        return false;
    bool complete = true;
    while (const dirent* entry = ::readdir(entries.get())) {
        const char* child = entry->d_name;
        if (std::strcmp(child, ".") == 0 || std::strcmp(child, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(directory.get(), child, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            complete = false;
            continue;
        }
        if (S_ISDIR(info.st_mode))
            complete = RemoveTreeAt(directory.get(), child) && complete;
        else if (::unlinkat(directory.get(), child, 0) != 0)
            complete = false;
    }
    return ::unlinkat(parent, name, AT_REMOVEDIR) == 0 && complete;
}

bool ProcessIsGone(pid_t pid)
{
    return ::kill(pid, 0) != 0 && errno == ESRCH;
}

}  // namespace

int RemoveStaleProcessDirectories(const QString& userDirectory)
{
    UniqueFd user(::open(NativePath(userDirectory).constData(), kDirectoryFlags));
    if (!user)
        return 0;
    const DirStream entries = ListEntries(user.get());
    if (!entries)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(entries.get())) {
        const pid_t pid = ProcessOfName(entry->d_name);
        if (pid <= 0 || pid == ::getpid())
            continue;
        struct stat info {};
        if (::fstatat(user.get(), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(info.st_mode) ||
            info.st_uid != ::geteuid())
            continue;
        if (ProcessIsGone(pid) && RemoveTreeAt(user.get(), entry->d_name))
            ++removed;
    }
    return removed;
}

ProcessTempDir::ProcessTempDir() : path_(MakeDirectory()) {}

Expected<QString, SystemError> ProcessTempDir::MakeDirectory()
{
    const Expected<QString, SystemError> user = PrivateTempDir();
    if (!user)
        return Failed(user.error());
    userDirectory_ = *user;
    // A crashed or killed instance could not remove its own directory.
    RemoveStaleProcessDirectories(userDirectory_);
    QByteArray pattern = NativePath(userDirectory_) + '/' + QByteArray::number(::getpid()) + "-XXXXXX";
    // mkdtemp makes the directory with mode 0700 under a name nobody else has.
    if (::mkdtemp(pattern.data()) == nullptr) {
        const int error = errno;
        return Failed(SystemError{SystemErrorKindOf(error), error,
                                  QStringLiteral("cannot create a directory in %1: %2").arg(userDirectory_, ErrnoText(error))});
    }
    return PathFromNative(pattern.constData());
}

ProcessTempDir::~ProcessTempDir()
{
    Remove();
}

void ProcessTempDir::Remove()
{
    if (!path_ || removed_)
        return;
    removed_ = true;
    UniqueFd user(::open(NativePath(userDirectory_).constData(), kDirectoryFlags));
    if (!user)
        return;
    const QByteArray native = NativePath(*path_);
    const QByteArray leaf = native.mid(native.lastIndexOf('/') + 1);
    RemoveTreeAt(user.get(), leaf.constData());
}

}  // namespace tolvane
