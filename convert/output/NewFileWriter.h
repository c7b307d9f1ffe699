// Writes a new file without ever overwriting one and without leaving a
// half-written file under its final name: the content goes to a temporary in
// the target directory (unnamed where the file system allows, otherwise a
// hidden ".tolvane-partial-XXXXXX" file), which then gets the first free name.
#pragma once

#include "convert/output/SaveResult.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tolvane {

// Writes the whole content of a new file to `fd` (positioned at 0). On any
// failure the temporary is discarded and the save fails as Content, with the
// writer's reason. Large messages are written by GMime straight into the
// descriptor through one of these.
using ContentWriter = std::function<WriteStep(int fd)>;

// `nameForAttempt(n)` gives the file name for attempt n (1, 2, ...); the first
// name that does not exist yet is taken.
using NameForAttempt = std::function<QString(int)>;

// Prefix of the named temporaries, which a run killed outright can leave
// behind. No file or directory the conversion writes under a real name ever
// starts with it (SafeComponent, FileNameFor), so a name of the writer's own
// shape (IsWriterTemporaryName) can only be a temporary.
inline constexpr const char* kPartialFilePrefix = ".tolvane-partial-";

// True for exactly the names the writers give their named temporaries: the
// prefix and six letters or digits, or the prefix, "scratch-", a process
// number, "-" and an attempt number.
[[nodiscard]] bool IsWriterTemporaryName(const char* name);

// A fresh name of that shape: the prefix and six random letters or digits.
[[nodiscard]] QByteArray NewTemporaryName();
// The other shape, for a scratch file a process removes as soon as it is open.
[[nodiscard]] QByteArray ScratchTemporaryName(qint64 processId, int attempt);

enum class TemporaryKind {
    UnnamedWhereSupported,  // O_TMPFILE, a named temporary where the file system refuses it
    Named,                  // always a named temporary (how other file systems behave)
};

// Creates the file in the directory open as `directoryFd`; `directoryPath` is
// only the text the result's path starts with. The file gets mode 0666 less
// the umask.
[[nodiscard]] SaveResult WriteNewFileAt(int directoryFd, const QString& directoryPath,
                                        const NameForAttempt& nameForAttempt, const ContentWriter& content,
                                        TemporaryKind kind = TemporaryKind::UnnamedWhereSupported);
[[nodiscard]] SaveResult WriteNewFileAt(int directoryFd, const QString& directoryPath,
                                        const NameForAttempt& nameForAttempt, const QByteArray& content,
                                        TemporaryKind kind = TemporaryKind::UnnamedWhereSupported);

// The same for a directory given by its path; a symbolic link as the last
// component of `directory` is refused.
[[nodiscard]] SaveResult WriteNewFile(const QString& directory, const NameForAttempt& nameForAttempt,
                                      const ContentWriter& content);
[[nodiscard]] SaveResult WriteNewFile(const QString& directory, const NameForAttempt& nameForAttempt,
                                      const QByteArray& content);

// A content writer for bytes already in memory; `content` must outlive it.
[[nodiscard]] ContentWriter BytesWriter(const QByteArray& content);

// Writes all of `size` bytes to `fd`, retrying short writes and EINTR; a
// failure is the content's (Content).
[[nodiscard]] WriteStep WriteAllTo(int fd, const char* data, qsizetype size);

// Appends the whole of the file open as `from` (from its first byte,
// whatever its position) to `to`, in the kernel where it can; a failure is
// the content's (Content).
[[nodiscard]] WriteStep CopyWholeFileTo(int from, int to);

}  // namespace tolvane
