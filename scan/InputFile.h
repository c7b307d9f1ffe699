// The first look at the file a scan is asked to read, before libpff opens it:
// it must be a regular file this process may read. A FIFO, device, socket or
// directory would block libpff or feed it endless bytes, so it is refused here
// with the reason, and so is a file the system will not open for us.
#pragma once

#include <QByteArray>
#include <QString>

namespace tolvane {

enum class InputFileState {
    Readable,     // a regular file, opened and read without error
    Refused,      // missing, not permitted, not a regular file, or a read error
    NoResources,  // the system ran out of memory or descriptors while opening it
};

struct InputFileCheck {
    InputFileState state = InputFileState::Refused;
    QString reason;     // for the user, naming the path; empty when Readable
    QByteArray header;  // the first bytes of a readable file (fewer when it is shorter)
};

// Opens `path` without blocking and without taking a controlling terminal,
// checks its kind and reads up to `headerBytes` from its start.
[[nodiscard]] InputFileCheck CheckInputFile(const QString& path, qsizetype headerBytes);

}  // namespace tolvane
