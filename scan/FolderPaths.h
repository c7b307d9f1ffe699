// The folders of a scanned mailbox by the names a user sees: the path of
// display names from the root ("Top of Personal Folders/Inbox/Projects")
// for each folder key the records carry, and back.
#pragma once

#include "scan/ItemStore.h"

#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane {

// The key the records of a folder node's folder carry.
QString FolderKeyOf(const FolderNode& folder);

// Which folders a run takes: every folder when `keys` is empty; else the
// folders of `keys` and, unless `withSubfolders` is false, those below them.
// The command line's --folder takes subtrees; the window's ticks name each
// folder they take.
struct FolderSelection {
    QStringList keys;
    bool withSubfolders = true;

    bool takesEverything() const { return keys.isEmpty(); }
    // Whether the items of `folderKey` are taken.
    bool Takes(const QString& folderKey) const;
    // Whether the folder is taken or lies on the way down to one that is:
    // the output needs its directory.
    bool Reaches(const QString& folderKey) const;
};

class FolderPaths {
public:
    explicit FolderPaths(const RecordList<FolderNode>& folders);

    // The names from the root down to the folder of `folderKey`; for a key
    // no folder node has (a folder deeper than the tree goes), the key's own
    // components.
    QStringList NamesOf(const QString& folderKey) const;
    // "Top of Personal Folders/Inbox".
    QString PathOf(const QString& folderKey) const { return NamesOf(folderKey).join(u'/'); }
    // The folder key of a path as PathOf writes it (a leading "/" allowed);
    // nullopt when the mailbox has no such folder.
    std::optional<QString> KeyOf(const QString& path) const;
    // The folder's path of names as the mailbox stores them (two sibling
    // folders may share it); PathOf when the scan kept none.
    QString StoredPathOf(const QString& folderKey) const;
    // Every folder's path, in the order of the tree.
    const QStringList& paths() const { return paths_; }

    // Whether `folderKey` is `selectedKey` or lies below it.
    static bool IsWithin(const QString& folderKey, const QString& selectedKey);
    // Whether a run that asked for `selectedKeys` and their subfolders
    // (empty: every folder) takes the items of `folderKey`.
    static bool IsSelected(const QString& folderKey, const QStringList& selectedKeys)
    {
        return FolderSelection{selectedKeys}.Takes(folderKey);
    }

private:
    QHash<QString, QStringList> namesByKey_;
    QHash<QString, QString> keyByPath_;
    QHash<QString, QString> storedPathByKey_;
    QStringList paths_;
};

}  // namespace tolvane
