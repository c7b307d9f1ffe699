// The read loop over pread(2).
#include "base/ReadAt.h"

#include <cerrno>

#include <unistd.h>

namespace tolvane {

Expected<qint64, SystemError> ReadAt(int fd, char* data, qint64 size, qint64 offset)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t got = ::pread(fd, data + done, static_cast<size_t>(size - done), static_cast<off_t>(offset + done));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return Failed(SystemError::FromErrno(errno));
        if (got == 0)
            break;
        done += got;
    }
    return done;
}

}  // namespace tolvane
