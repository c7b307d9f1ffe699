// Opening a file named by a relative path below a directory descriptor, one
// component at a time, never following a symbolic link and never opening
// anything but a regular file: what lets verify look at an output folder
// someone may have planted links, FIFOs or devices in, at any depth (no path
// is ever handed to the system whole, so PATH_MAX does not apply either).
#pragma once

#include "base/UniqueFd.h"

#include <QString>

#include <sys/stat.h>

namespace tolvane {

// What a directory entry is, as lstat tells it.
enum class EntryKind { RegularFile, Directory, SymbolicLink, Fifo, Device, Socket, Other };

[[nodiscard]] EntryKind EntryKindOf(mode_t mode);

struct FileBeneath {
    enum class Status {
        Opened,        // `file` is an open regular file
        Missing,       // nothing under that name
        NotRegular,    // something else is there; `kind` says what
        NotAPath,      // absolute, empty components, "." or "..": names nothing inside the folder
        BrokenWay,     // a directory on the way is a symbolic link or no directory
        Unreadable,    // it could not be opened (permissions, I/O); `error` is the errno
    };
    Status status = Status::Missing;
    EntryKind kind = EntryKind::RegularFile;
    int error = 0;
    UniqueFd file;
};

// Opens `relativePath` ("Inbox/a.eml") below `rootFd` for reading.
[[nodiscard]] FileBeneath OpenFileBeneath(int rootFd, const QString& relativePath);

}  // namespace tolvane
