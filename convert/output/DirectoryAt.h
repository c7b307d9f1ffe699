// Opening and making directories relative to a directory descriptor, one
// name at a time, never following a symbolic link and never leaving the
// parent: what keeps the conversion's output inside the folder it made.
#pragma once

#include "scan/NativePath.h"
#include "scan/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace tolvane {

// The directory the user named (the destination): opened like any path the
// user typed. Invalid, with errno set, when it cannot be opened as a directory.
[[nodiscard]] UniqueFd OpenDirectoryPath(const QString& path);

// The directory `name` (one path component) inside `parentFd`. A symbolic
// link, anything that is not a directory, or a name that would lead out of
// the parent is refused; errno says why (ELOOP, ENOTDIR, ...).
[[nodiscard]] UniqueFd OpenDirectoryBeneath(int parentFd, const QByteArray& name);

// Makes the directory `name` inside `parentFd` (mode 0777 less the umask) and
// opens it. Fails with EEXIST when anything already has that name: an
// existing directory is never taken over. A directory that turns out not to
// belong to this user after it was made is refused with EEXIST as well.
[[nodiscard]] UniqueFd MakeDirectoryBeneath(int parentFd, const QByteArray& name);

// The names in the directory open as `directoryFd` but "." and "..", sorted;
// nullopt when it cannot be listed. Read whole before the caller goes
// deeper, so only the directory's own descriptor stays open meanwhile.
[[nodiscard]] std::optional<std::vector<QByteArray>> SortedEntryNames(int directoryFd);

}  // namespace tolvane
