// Folder names, keys and stored paths of a walk; see FolderNaming.h.
#include "scan/FolderNaming.h"

#include "scan/ScanTexts.h"

namespace tolvane {

namespace {

// A path that matches the one a text was made from, null and empty told apart.
bool SamePath(const std::optional<QString>& madeFrom, const QString& path)
{
    return madeFrom && madeFrom->isNull() == path.isNull() && *madeFrom == path;
}

}  // namespace

QString TargetPath(const QString& path, const QString& name, QChar separator)
{
    if (path.isNull() || name.isNull())
        return QString();
    // The name is sanitised on its own: a separator inside it must not split it.
    QString namePart = name;
    SanitizeFileName(namePart);
    return path + separator + namePart;
}

// Whether a folder at `exportPath` would share its items' folder key with a
// folder found before (names that clean to the same text, "a/b" and "a_b"),
// or have a key that names no place of its own ("." or "..").
bool FolderNaming::KeyTaken(const QString& exportPath) const
{
    const QString key = FolderKeyFromExportPath(exportPath);
    const QString last = LastPathComponent(key);
    return last.isEmpty() || last == QLatin1String(".") || last == QLatin1String("..") || keysTaken_.contains(key);
}

QString FolderNaming::NameFolder(const QString& parentPath, const QString& storedName, int index)
{
    const QString name = storedName.isEmpty() ? NumberedFolderName(index + 1) : storedName;
    QString path = TargetPath(parentPath, name);
    for (int attempt = 1; !path.isNull() && KeyTaken(path); ++attempt) {
        const QString numbered = attempt == 1 ? NumberedFolderName(index + 1)
                                              : NumberedFolderName(index + 1) + u'-' + QString::number(attempt);
        path = TargetPath(parentPath, numbered);
    }
    if (!path.isNull())
        TakeKey(path);
    return path;
}

QString FolderNaming::TakeKey(const QString& exportPath)
{
    const QString key = FolderKeyFromExportPath(exportPath);
    keysTaken_.insert(key);
    return key;
}

QString FolderNaming::StoredPathAt(int level, const QString& storedName)
{
    if (level < 1 || level > kDeepestTreeLevel)
        return storedName;
    storedPathAtLevel_[level] = level == 1 ? storedName : storedPathAtLevel_[level - 1] + u'/' + storedName;
    return storedPathAtLevel_[level];
}

QString FolderNaming::RecordFolderKey(const QString& exportPath)
{
    if (!SamePath(recordKeyPath_, exportPath)) {
        recordKey_ = FolderKeyFromExportPath(exportPath);
        recordKeyPath_ = exportPath;
    }
    return recordKey_;
}

QString FolderNaming::RecordFolderName(const QString& exportPath)
{
    if (!SamePath(recordNamePath_, exportPath)) {
        recordName_ = LastPathComponent(exportPath);
        recordNamePath_ = exportPath;
    }
    return recordName_;
}

}  // namespace tolvane
