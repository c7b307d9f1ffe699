// What the scan engine tells whoever follows a scan (the window, the command
// line, a test), as typed events in the order the walk meets things. Every
// call comes from the scan's thread. The engine has no words for the user
// and no widgets: a front end turns these into its own.
#pragma once

#include "model/ItemRecords.h"

#include <QString>

namespace tolvane {

// A folder the walk found: `id` counts the folders in the order they were
// found (1, 2, ...); a `parent` of 0 is the mailbox itself.
struct FoundFolder {
    FolderId id = 0;
    FolderId parent = 0;
    QString name;        // cleaned for the file system, unique among its siblings
    QString storedName;  // as the mailbox stores it
    QString key;         // the folder key its items' records carry (MailRecord::folderKey)
    int depth = 1;       // 1 for a folder at the top
};

// Something the walk could not read and left out: one item, one folder with
// everything below it, or one of a folder's lists. Its siblings are still read.
struct UnreadableItem {
    QString folder;  // the folder's path as the tree shows it ("/" for the top)
    QString what;    // within that folder: "item 3", "folder 2", "its items", ...
    QString reason;  // what failed

    // "folder, what" as every front end names the place.
    QString place() const { return folder + QStringLiteral(", ") + what; }
};

class ScanEvents {
public:
    virtual ~ScanEvents() = default;

    // The mailbox is open; the walk starts.
    virtual void MailboxOpened() {}
    virtual void FolderFound(const FoundFolder& folder) { (void)folder; }
    // A mail record, already in the store.
    virtual void MailFound(const MailRecord& record) { (void)record; }
    virtual void ItemUnreadable(const UnreadableItem& item) { (void)item; }
    // How far the walk is through the list it reads, 0 to 100.
    virtual void Progress(int position) { (void)position; }
    // Memory or another resource ran out where the scan cannot go on without
    // losing an item: the scan ends with ScanFailure::ResourcesExhausted
    // once this returns, and the front end ends the process.
    virtual void ResourcesExhausted() {}
};

}  // namespace tolvane
