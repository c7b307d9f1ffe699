// Sorting errno values into the kinds callers act on.
#include "base/SystemError.h"

#include "base/NativePath.h"

#include <cerrno>

namespace tolvane {

SystemErrorKind SystemErrorKindOf(int error)
{
    switch (error) {
    case ENOENT:
        return SystemErrorKind::NotFound;
    case EEXIST:
        return SystemErrorKind::Exists;
    case ENOSPC:
    case EDQUOT:
        return SystemErrorKind::NoSpace;
    case EACCES:
    case EPERM:
    case EROFS:
        return SystemErrorKind::Denied;
    default:
        return SystemErrorKind::Other;
    }
}

SystemError SystemError::FromErrno(int error)
{
    return SystemError{SystemErrorKindOf(error), error, ErrnoText(error)};
}

}  // namespace tolvane
