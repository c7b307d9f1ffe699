// What the operating system refused, as every fallible call of the platform
// base reports it: the kind a caller acts on (try another name, tell the user
// the disk is full, ...) and the reason text shown to the user.
#pragma once

#include <QString>

namespace tolvane {

enum class SystemErrorKind {
    NotFound,  // nothing under that name (ENOENT)
    Exists,    // something already has that name (EEXIST)
    NoSpace,   // the disk or the quota is full (ENOSPC, EDQUOT)
    Denied,    // not permitted (EACCES, EPERM, EROFS)
    Other,     // anything else: I/O errors, refused links, wrong kinds of file
};

struct SystemError {
    SystemErrorKind kind = SystemErrorKind::Other;
    int code = 0;  // the errno value; 0 where the refusal was not the system's
    QString reason;

    // The kind and the system's text for an errno value.
    [[nodiscard]] static SystemError FromErrno(int error);
};

[[nodiscard]] SystemErrorKind SystemErrorKindOf(int error);

}  // namespace tolvane
