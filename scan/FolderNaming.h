// How a walk names folders: each folder's export path (its stored name made
// safe for a file name, or its number), unique by folder key so two folders'
// items never mix; the path of stored names at each tree level; and the
// folder key and name every record of a folder carries, made once per folder.
#pragma once

#include "scan/Limits.h"

#include <QSet>
#include <QString>

#include <array>
#include <optional>

namespace tolvane {

// `path`, the separator and `name` made safe for a file name; null for a
// null path or name.
QString TargetPath(const QString& path, const QString& name, QChar separator = u'\\');

class FolderNaming {
public:
    // The export path of the folder at `index` below `parentPath`: its
    // stored name, or "Folder%05d" when it has none or when the name would
    // share a folder key with a folder named before (then "-2", "-3", ...
    // as long as that is taken too). The key is taken at once.
    QString NameFolder(const QString& parentPath, const QString& storedName, int index);
    // Takes the folder key of `exportPath` for one folder.
    QString TakeKey(const QString& exportPath);

    // The stored names' path of a folder made at `level` (1 at the top).
    QString StoredPathAt(int level, const QString& storedName);

    // The folder key and folder name of a record made at `exportPath`, one
    // copy handed out again while the path stays the same: a folder of
    // 100 000 mails kept 20 MB of equal copies otherwise.
    QString RecordFolderKey(const QString& exportPath);
    QString RecordFolderName(const QString& exportPath);

private:
    bool KeyTaken(const QString& exportPath) const;

    std::array<QString, kDeepestTreeLevel + 1> storedPathAtLevel_{};
    QSet<QString> keysTaken_;
    std::optional<QString> recordKeyPath_;
    QString recordKey_;
    std::optional<QString> recordNamePath_;
    QString recordName_;
};

}  // namespace tolvane
