// Every directory is opened relative to its parent's descriptor with
// O_NOFOLLOW and checked to be the entry just looked at, so a link or a
// directory swapped in meanwhile never takes the walk elsewhere. Folders
// another conversion holds locked (OutputTree) are skipped: their temporaries
// are still being written. Only the folder of a run that did not finish is
// swept (its manifest has no summary line): a finished run left nothing of
// its own behind, so whatever its folder holds is output, never touched.
#include "convert/output/PartialFileSweeper.h"

#include "base/DirStream.h"
#include "base/DirectoryAt.h"
#include "base/ReadAt.h"
#include "convert/output/Manifest.h"
#include "convert/output/NewFileWriter.h"
#include "base/UniqueFd.h"

#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

constexpr const char* kOutputFolderPrefix = "Vorsk-Recovery-";
// Deeper trees than any mailbox's folders; bounds the descriptors held open.
constexpr int kMaxDepth = 100;

bool StartsWith(const char* name, const char* prefix)
{
    return std::strncmp(name, prefix, std::strlen(prefix)) == 0;
}

// The directory `name` inside `parent`, when it is a directory of this user
// (never a link) and still the entry `expected` describes.
UniqueFd OpenOwnDirectory(int parent, const char* name)
{
    struct stat expected {};
    if (::fstatat(parent, name, &expected, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISDIR(expected.st_mode) ||
        expected.st_uid != ::geteuid())
        return UniqueFd();
    OpenedDirectory directory = OpenDirectoryBeneath(parent, QByteArray(name));
    struct stat opened {};
    if (!directory || ::fstat(directory->get(), &opened) != 0 || opened.st_dev != expected.st_dev ||
        opened.st_ino != expected.st_ino)
        return UniqueFd();
    return std::move(*directory);
}

// A stream over the entries of `directory`; the descriptor stays with the caller.
DirStream ListEntries(int directory)
{
    const int copy = ::fcntl(directory, F_DUPFD_CLOEXEC, 0);
    if (copy < 0)
        return DirStream();
    DIR* stream = ::fdopendir(copy);
    if (stream == nullptr)
        ::close(copy);
    return DirStream(stream);
}

int SweepDirectory(int directory, int depth)
{
    DirStream entries = ListEntries(directory);
    if (!entries)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(entries.get())) {
        const char* name = entry->d_name;
        if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0)
            continue;
        const bool maybeDirectory = entry->d_type == DT_DIR || entry->d_type == DT_UNKNOWN;
        if (maybeDirectory && depth < kMaxDepth) {
            if (const UniqueFd child = OpenOwnDirectory(directory, name)) {
                removed += SweepDirectory(child.get(), depth + 1);
                continue;
            }
        }
        if (IsWriterTemporaryName(name)) {
            struct stat info {};
            if (::fstatat(directory, name, &info, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(info.st_mode) &&
                info.st_uid == ::geteuid() && ::unlinkat(directory, name, 0) == 0)
                ++removed;
        }
    }
    return removed;
}

// True when the output folder holds the manifest of a run that never wrote
// its last line, the summary: only such a run can have left temporaries.
bool HoldsUnfinishedRun(int folder)
{
    const UniqueFd manifest(::openat(folder, kManifestFileName, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat info {};
    if (!manifest || ::fstat(manifest.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_uid != ::geteuid())
        return false;
    // The summary is one short line; the tail of the file is enough to find it.
    constexpr off_t kTail = 1 << 16;
    const off_t from = info.st_size > kTail ? info.st_size - kTail : 0;
    QByteArray tail(static_cast<qsizetype>(info.st_size - from), Qt::Uninitialized);
    const auto got = ReadAt(manifest.get(), tail.data(), tail.size(), from);
    if (!got || *got != tail.size())
        return false;
    while (tail.endsWith('\n'))
        tail.chop(1);
    const QByteArray lastLine = tail.mid(tail.lastIndexOf('\n') + 1);
    return !lastLine.contains("\"summary\":");
}

}  // namespace

int RemoveLeftoverPartials(const QString& destinationPath)
{
    const OpenedDirectory destination = OpenDirectoryPath(destinationPath);
    if (!destination)
        return 0;
    DirStream entries = ListEntries(destination->get());
    if (!entries)
        return 0;
    int removed = 0;
    while (const dirent* entry = ::readdir(entries.get())) {
        if (!StartsWith(entry->d_name, kOutputFolderPrefix))
            continue;
        const UniqueFd folder = OpenOwnDirectory(destination->get(), entry->d_name);
        // A folder whose lock is held belongs to a conversion still running.
        if (!folder || ::flock(folder.get(), LOCK_EX | LOCK_NB) != 0 || !HoldsUnfinishedRun(folder.get()))
            continue;
        removed += SweepDirectory(folder.get(), 1);
    }
    return removed;
}

}  // namespace tolvane
