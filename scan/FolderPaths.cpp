// Folder keys and the display paths of the same folders.
#include "scan/FolderPaths.h"

#include "scan/ScanTexts.h"

#include <algorithm>

namespace tolvane {

QString FolderKeyOf(const FolderNode& folder)
{
    return FolderKeyFromExportPath(folder.exportPath + u'\\' + folder.name);
}

FolderPaths::FolderPaths(const RecordList<FolderNode>& folders)
{
    for (const auto& folder : folders) {
        // A node's export path is its parent's display path, "\"-separated.
        QStringList names = folder->exportPath.split(u'\\', Qt::SkipEmptyParts);
        names << folder->name;
        const QString key = FolderKeyOf(*folder);
        if (namesByKey_.contains(key))
            continue;
        namesByKey_.insert(key, names);
        if (!folder->storedPath.isEmpty())
            storedPathByKey_.insert(key, folder->storedPath);
        const QString path = names.join(u'/');
        keyByPath_.insert(path, key);
        paths_ << path;
    }
}

QStringList FolderPaths::NamesOf(const QString& folderKey) const
{
    const auto found = namesByKey_.constFind(folderKey);
    if (found != namesByKey_.cend())
        return *found;
    return folderKey.split(u'\\', Qt::SkipEmptyParts);
}

QString FolderPaths::StoredPathOf(const QString& folderKey) const
{
    const auto found = storedPathByKey_.constFind(folderKey);
    return found != storedPathByKey_.cend() ? *found : PathOf(folderKey);
}

std::optional<QString> FolderPaths::KeyOf(const QString& path) const
{
    QString trimmed = path;
    while (trimmed.startsWith(u'/'))
        trimmed.remove(0, 1);
    while (trimmed.endsWith(u'/'))
        trimmed.chop(1);
    const auto found = keyByPath_.constFind(trimmed);
    if (found == keyByPath_.cend())
        return std::nullopt;
    return *found;
}

bool FolderPaths::IsWithin(const QString& folderKey, const QString& selectedKey)
{
    return folderKey == selectedKey || folderKey.startsWith(selectedKey + u'\\');
}

bool FolderSelection::Takes(const QString& folderKey) const
{
    return keys.isEmpty() || std::any_of(keys.begin(), keys.end(), [&](const QString& key) {
               return withSubfolders ? FolderPaths::IsWithin(folderKey, key) : folderKey == key;
           });
}

bool FolderSelection::Reaches(const QString& folderKey) const
{
    return Takes(folderKey) || std::any_of(keys.begin(), keys.end(), [&](const QString& key) {
               return FolderPaths::IsWithin(key, folderKey);
           });
}

}  // namespace tolvane
