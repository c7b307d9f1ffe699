// The scan's folder operations over the mailbox walk: the walk of the whole
// file, the folder nodes it adds, the names its records carry, and the
// export_handle_* steps of the walk, each a call into MailboxWalk.
#include "scan/ExportHandle.h"

#include "scan/FolderNaming.h"
#include "scan/ItemStore.h"
#include "scan/ScanEvents.h"
#include "scan/ScanTexts.h"
#include "scan/ScanVisitors.h"
#include "scan/StoreFolders.h"

namespace tolvane {

namespace {

const QString kExportRoot = QStringLiteral(".export");

// The parent's path below the export root: "" for the root itself.
QString RelativeToExportRoot(const QString& exportPath)
{
    if (exportPath.startsWith(kExportRoot))
        return exportPath.mid(kExportRoot.size());
    return exportPath;
}

}  // namespace

MailboxWalk& export_handle_walk(export_handle* handle)
{
    if (!handle->walk) {
        handle->visitor = MakeScanVisitor(handle);
        handle->walk = std::make_unique<MailboxWalk>(*handle->visitor, WalkReporting{handle->events, handle->store},
                                                     handle->gate, handle->asciiCodepage);
    }
    return *handle->walk;
}

void export_handle_add_folder_node(export_handle* handle, const QString& parentPath, const QString& directoryName,
                                   const QString& storedName, int listedItems, uint32_t identifier,
                                   const QString& containerClass)
{
    MailboxWalk& walk = export_handle_walk(handle);
    WalkCursor& cursor = walk.cursor();
    const QString key = walk.naming().TakeKey(parentPath + u'\\' + directoryName);
    const QString relativeParent = RelativeToExportRoot(parentPath);
    const int level = static_cast<int>(relativeParent.count(u'\\')) + 1;
    // Deeper than the tree goes, a folder has no node; its items still carry
    // its folder name and key.
    if (level > kDeepestTreeLevel)
        return;
    const FolderId parent = level == 1 ? 0 : cursor.levelTable[level - 1];
    const FolderId id = ++cursor.lastFolderId;
    cursor.levelTable[level] = id;

    FolderNode folder;
    folder.name = directoryName;
    folder.storedPath = walk.naming().StoredPathAt(level, storedName);
    folder.parentText = level == 1 ? handle->mailboxPath : LastPathComponent(relativeParent);
    folder.depth = level;
    folder.exportPath = relativeParent;
    folder.parent = parent;
    folder.id = id;
    folder.listedItems = listedItems;
    folder.identifier = identifier;
    folder.containerClass = containerClass;
    if (handle->store != nullptr)
        handle->store->AddFolderNode(folder);
    if (handle->events != nullptr)
        handle->events->FolderFound(FoundFolder{id, parent, directoryName, storedName, key, level});
}

// Every record of a folder carries its folder's key and name, one copy per folder.
QString export_handle_record_folder_key(export_handle* handle, const QString& exportPath)
{
    const WalkCursor& cursor = export_handle_walk(handle).cursor();
    return export_handle_walk(handle).naming().RecordFolderKey(cursor.atTopLevel() ? exportPath
                                                                                   : cursor.topLevelExportPath);
}

QString export_handle_record_folder_name(export_handle* handle, const QString& exportPath)
{
    return export_handle_walk(handle).naming().RecordFolderName(exportPath);
}

WalkStep export_handle_initialize(std::unique_ptr<export_handle>* handle)
{
    if (handle == nullptr)
        return WalkStep::Failed;
    if (!*handle)
        *handle = std::make_unique<export_handle>();
    return WalkStep::Done;
}

void export_handle_free(std::unique_ptr<export_handle>* handle)
{
    if (handle != nullptr)
        handle->reset();
}

bool export_handle_checkpoint(export_handle* handle)
{
    return export_handle_walk(handle).Checkpoint();
}

ItemLocation export_handle_item_location(export_handle* handle, libpff_item_t* item)
{
    return export_handle_walk(handle).cursor().LocationOf(item);
}

WalkResult export_handle_export_file(export_handle* handle, libpff_file_t* file, const QString& exportPath)
{
    return export_handle_export_items(handle, file, exportPath);
}

WalkResult export_handle_export_items(export_handle* handle, libpff_file_t* file, const QString& exportPath)
{
    if (handle == nullptr || file == nullptr)
        return Failed(WalkStop{WalkStopKind::RootUnreadable, QStringLiteral("there is no mailbox to walk")});
    // Which folder is the Inbox, which the root of the mail folders: the
    // formats that are a mail client's folders need it.
    if (handle->store != nullptr)
        handle->store->SetStoreFolders(ReadStoreFolders(file));
    return export_handle_walk(handle).Run(file, exportPath);
}

WalkStep export_handle_export_sub_items(export_handle* handle, libpff_item_t* item, const QString& exportPath)
{
    return export_handle_walk(handle).WalkSubItems(item, exportPath);
}

WalkStep export_handle_export_item(export_handle* handle, libpff_item_t* item, int index, int /*count*/,
                                   const QString& exportPath)
{
    return export_handle_walk(handle).VisitItem(item, index, exportPath);
}

WalkStep export_handle_export_folder(export_handle* handle, libpff_item_t* folder, int index, const QString& exportPath)
{
    return export_handle_walk(handle).EnterFolder(folder, index, exportPath);
}

WalkStep export_handle_export_sub_folders(export_handle* handle, libpff_item_t* folder, const QString& exportPath)
{
    return export_handle_walk(handle).WalkSubFolders(folder, exportPath);
}

WalkStep export_handle_export_sub_messages(export_handle* handle, libpff_item_t* folder, const QString& exportPath)
{
    return export_handle_walk(handle).WalkSubMessages(folder, exportPath);
}

WalkStep export_handle_create_target_path(export_handle* /*handle*/, const QString& path, const QString& name,
                                          QString* target, QChar separator)
{
    if (target == nullptr || !target->isNull())
        return WalkStep::Failed;
    *target = TargetPath(path, name, separator);
    return target->isNull() ? WalkStep::Failed : WalkStep::Done;
}

WalkStep export_handle_sanitize_filename(export_handle* /*handle*/, QString* name)
{
    if (name == nullptr)
        return WalkStep::Failed;
    SanitizeFileName(*name);
    return WalkStep::Done;
}

}  // namespace tolvane
