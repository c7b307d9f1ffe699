// Writes a new file without ever overwriting one and without leaving a
// half-written file under its final name: the bytes go to a hidden temporary
// file in the target directory, which is then renamed to the first free name.
#pragma once

#include <QByteArray>
#include <QString>
#include <functional>

namespace tolvane {

struct NewFileResult {
    bool saved = false;
    QString path;    // the final path when saved
    QString reason;  // why not, when not saved
};

// Writes a file's whole content into the open descriptor; false with a reason
// on any failure, and the file is then not saved.
using ContentWriter = std::function<bool(int fd, QString* reason)>;

// `nameForAttempt(n)` gives the file name for attempt n (1, 2, ...); the first
// name that does not exist yet is taken.
NewFileResult WriteNewFile(const QString& directory, const std::function<QString(int)>& nameForAttempt,
                           const ContentWriter& writeContent);
NewFileResult WriteNewFile(const QString& directory, const std::function<QString(int)>& nameForAttempt,
                           const QByteArray& content);

}  // namespace tolvane
