// The first look at the file a scan is asked to read, before libpff opens it:
// it must be a regular file this process may read. A FIFO, device, socket or
// directory would block libpff or feed it endless bytes, so it is refused here
// with the reason, and so is a file the system will not open for us.
#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

#include <sys/stat.h>

namespace tolvane {

enum class InputFileState {
    Readable,     // a regular file, opened and read without error
    Refused,      // missing, not permitted, not a regular file, or a read error
    NoResources,  // the system ran out of memory or descriptors while opening it
};

// Which file a path led to when the scan opened it, and how it was then: the
// conversion and the preview open the mailbox again later and must find the
// same file, unchanged, or refuse.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    struct timespec modified {};

    static FileIdentity Of(const struct stat& info);
    bool operator==(const FileIdentity& other) const;
};

// Why the open file described by `now` is not the file `scanned` describes,
// in words for the user; nullopt when it is the same, unchanged.
[[nodiscard]] std::optional<QString> FileChangedSinceScan(const QString& path, const FileIdentity& scanned,
                                                          const FileIdentity& now);

struct InputFileCheck {
    InputFileState state = InputFileState::Refused;
    QString reason;     // for the user, naming the path; empty when Readable
    QByteArray header;  // the first bytes of a readable file (fewer when it is shorter)
    FileIdentity identity;  // of the file that was read, when Readable
};

// Opens `path` without blocking and without taking a controlling terminal,
// checks its kind and reads up to `headerBytes` from its start.
[[nodiscard]] InputFileCheck CheckInputFile(const QString& path, qsizetype headerBytes);

}  // namespace tolvane
