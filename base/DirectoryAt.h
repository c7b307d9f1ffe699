// Opening and making directories relative to a directory descriptor, one
// name at a time, never following a symbolic link and never leaving the
// parent: what keeps the conversion's output inside the folder it made.
#pragma once

#include "base/Expected.h"
#include "base/NativePath.h"
#include "base/SystemError.h"
#include "base/UniqueFd.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace tolvane {

using OpenedDirectory = Expected<UniqueFd, SystemError>;

// The directory the user named (the destination): opened like any path the
// user typed; refused when it cannot be opened as a directory.
[[nodiscard]] OpenedDirectory OpenDirectoryPath(const QString& path);

// The directory `name` (one path component) inside `parentFd`. A symbolic
// link, anything that is not a directory, or a name that would lead out of
// the parent is refused; the error's code says why (ELOOP, ENOTDIR, ...).
[[nodiscard]] OpenedDirectory OpenDirectoryBeneath(int parentFd, const QByteArray& name);

// Makes the directory `name` inside `parentFd` (mode 0777 less the umask) and
// opens it. Fails as Exists when anything already has that name: an
// existing directory is never taken over. A directory that turns out not to
// belong to this user after it was made is refused as Exists as well.
[[nodiscard]] OpenedDirectory MakeDirectoryBeneath(int parentFd, const QByteArray& name);

// The names in the directory open as `directoryFd` but "." and "..", sorted.
// Read whole before the caller goes deeper, so only the directory's own
// descriptor stays open meanwhile.
[[nodiscard]] Expected<std::vector<QByteArray>, SystemError> SortedEntryNames(int directoryFd);

}  // namespace tolvane
