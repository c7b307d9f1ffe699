// What one save gives back at the writers' boundary, whatever was saved and
// however (a file of its own, a message appended to its folder's shared
// file, a file in a Maildir): where it went, or a typed reason why not. Every
// writer below the passes and every sink returns it; the passes hand it on
// to ItemOutcomes, which alone turns it into manifest lines, counts and
// problem lines.
#pragma once

#include "base/Expected.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvane {

// The size and SHA-256 of bytes written.
struct FileDigest {
    qint64 size = 0;
    QByteArray sha256;  // hexadecimal
};

// Where a saved item went.
struct SavedFile {
    QString path;                  // the file written or appended to
    std::optional<qint64> offset;  // where the item starts in a shared file
    FileDigest digest;             // of the bytes written for the item, where the writer worked it out
    // The shared file is still written under a temporary name: the item is
    // saved only once the file is put in place (MboxFiles).
    bool awaitsPlacing = false;
};

// Why an item was not saved, as a kind the code can act on.
enum class WriteFailure {
    NoOutputFolder,  // the run made no output folder
    NoDirectory,     // the directory the item belongs in could not be made or opened
    NoFreeName,      // every name the item could take was taken
    FileSystem,      // the file system refused a step (create, link, rename, close)
    Content,         // its bytes could not be produced or written (a full disk, a read that failed)
    ShortOfMemory,   // not enough memory to write it
    Unreadable,      // the item could not be read again, so there was nothing to write
    LeftOut,         // the file it would go into has no place for it (an appointment without a start)
};

struct WriteError {
    WriteFailure kind = WriteFailure::FileSystem;
    QString reason;  // the words the problem line and the manifest give
};

using SaveResult = Expected<SavedFile, WriteError>;
// A step of the output layer with nothing to give back: done, or why not.
using WriteStep = Expected<void, WriteError>;

// The failure side of a SaveResult.
[[nodiscard]] inline Unexpected<WriteError> NotSaved(WriteFailure kind, QString reason)
{
    return Failed(WriteError{kind, std::move(reason)});
}

}  // namespace tolvane
