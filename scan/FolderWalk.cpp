// The folder walk: depth-first from the root folder, one export path, tree
// node and FolderNode per folder, every item dispatched by its libpff type.
#include "scan/ExportHandle.h"

#include "scan/ItemStore.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"
#include "scan/ScanEvents.h"
#include "scan/ScanTexts.h"
#include "scan/StoreFolders.h"
#include "scan/WorkerGate.h"

namespace tolvane {

namespace {

const QString kExportRoot = QStringLiteral(".export");

// Whether a folder at `exportPath` would share its items' folder key with a
// folder found before (names that clean to the same text, "a/b" and "a_b"),
// or have a key that names no place of its own ("." or "..").
bool FolderKeyTaken(const export_handle* handle, const QString& exportPath)
{
    const QString key = FolderKeyFromExportPath(exportPath);
    const QString last = LastPathComponent(key);
    return last.isEmpty() || last == QLatin1String(".") || last == QLatin1String("..")
           || handle->folderKeysTaken.contains(key);
}

void Progress(export_handle* handle, int position)
{
    if (handle->events != nullptr)
        handle->events->Progress(position);
}

// The parent's path below the export root: "" for the root itself.
QString RelativeToExportRoot(const QString& exportPath)
{
    if (exportPath.startsWith(kExportRoot))
        return exportPath.mid(kExportRoot.size());
    return exportPath;
}

}  // namespace

void export_handle_add_folder_node(export_handle* handle, const QString& parentPath, const QString& directoryName,
                                   const QString& storedName, int listedItems, uint32_t identifier,
                                   const QString& containerClass)
{
    const QString key = FolderKeyFromExportPath(parentPath + u'\\' + directoryName);
    handle->folderKeysTaken.insert(key);
    const QString relativeParent = RelativeToExportRoot(parentPath);
    const int level = static_cast<int>(relativeParent.count(u'\\')) + 1;
    // Deeper than the tree goes, a folder has no node; its items still carry
    // its folder name and key.
    if (level > kDeepestTreeLevel)
        return;
    handle->storedPathAtLevel[level] =
        level == 1 ? storedName : handle->storedPathAtLevel[level - 1] + u'/' + storedName;
    const FolderId parent = level == 1 ? 0 : handle->levelTable[level - 1];
    const FolderId id = ++handle->lastFolderId;
    handle->levelTable[level] = id;

    FolderNode folder;
    folder.name = directoryName;
    folder.storedPath = handle->storedPathAtLevel[level];
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

namespace {

// A folder's export path as the tree shows it, without the scan's private root.
QString FolderShownAs(const QString& exportPath)
{
    QString folder = exportPath;
    if (folder.startsWith(kExportRoot))
        folder.remove(0, kExportRoot.size());
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

void ReportSkippedItem(export_handle* handle, const QString& exportPath, int index, const QString& reason)
{
    export_handle_report_skipped(handle, exportPath, QStringLiteral("item %1").arg(index + 1), reason);
}

}  // namespace

// Names a skipped item: its folder path as the tree shows it (without the
// scan's private export root) and the item within that folder.
void export_handle_report_skipped(export_handle* handle, const QString& exportPath, const QString& what,
                                  const QString& reason)
{
    const UnreadableItem item{FolderShownAs(exportPath), what, reason};
    if (handle->store != nullptr)
        handle->store->AddSkippedItem(item.place() + QStringLiteral(": ") + reason);
    if (handle->events != nullptr)
        handle->events->ItemUnreadable(item);
}

QString export_handle_nesting_reason(int bound)
{
    return QStringLiteral("nested deeper than %1 levels").arg(bound);
}

namespace {

// A path that matches the one a text was made from, null and empty told apart.
bool SamePath(const std::optional<QString>& madeFrom, const QString& path)
{
    return madeFrom && madeFrom->isNull() == path.isNull() && *madeFrom == path;
}

}  // namespace

// Every record of a folder carries its folder's key and name; made once per
// folder they share one copy, where a folder of 100 000 mails kept 20 MB of
// equal copies for as long as the scan's records live.
QString export_handle_record_folder_key(export_handle* handle, const QString& exportPath)
{
    const QString& path = handle->attachmentPath.isEmpty() ? exportPath : handle->topLevelExportPath;
    if (!SamePath(handle->recordKeyPath, path)) {
        handle->recordKey = FolderKeyFromExportPath(path);
        handle->recordKeyPath = path;
    }
    return handle->recordKey;
}

QString export_handle_record_folder_name(export_handle* handle, const QString& exportPath)
{
    if (!SamePath(handle->recordNamePath, exportPath)) {
        handle->recordName = LastPathComponent(exportPath);
        handle->recordNamePath = exportPath;
    }
    return handle->recordName;
}

WalkStep export_handle_initialize(std::unique_ptr<export_handle>* handle)
{
    if (handle == nullptr)
        return WalkStep::Failed;
    if (*handle)
        return WalkStep::Done;
    *handle = std::make_unique<export_handle>();
    return WalkStep::Done;
}

WalkStep export_handle_free(std::unique_ptr<export_handle>* handle)
{
    if (handle != nullptr)
        handle->reset();
    return WalkStep::Done;
}

bool export_handle_checkpoint(export_handle* handle)
{
    if (handle->abandoned)
        return false;
    if (handle->gate != nullptr && !handle->gate->Checkpoint())
        handle->abandoned = true;
    return !handle->abandoned;
}

ItemLocation export_handle_item_location(export_handle* handle, libpff_item_t* item)
{
    ItemLocation location;
    libpff_item_get_identifier(item, &location.itemIdentifier, nullptr);
    location.attachmentPath = handle->attachmentPath;
    location.topLevelIdentifier =
        handle->attachmentPath.isEmpty() ? location.itemIdentifier : handle->topLevelIdentifier;
    location.source = handle->itemSource;
    location.sourceIndex = handle->itemSourceIndex;
    location.sourceBlocks = handle->itemSourceBlocks;
    return location;
}

WalkStep export_handle_export_file(export_handle* handle, libpff_file_t* file, const QString& exportPath)
{
    return export_handle_export_items(handle, file, exportPath);
}

WalkStep export_handle_export_items(export_handle* handle, libpff_file_t* file, const QString& exportPath)
{
    if (handle == nullptr || file == nullptr)
        return WalkStep::Failed;
    // Which folder is the Inbox, which the root of the mail folders: the
    // formats that are a mail client's folders need it.
    if (handle->store != nullptr)
        handle->store->SetStoreFolders(ReadStoreFolders(file));
    PffItem rootFolder;
    if (libpff_file_get_root_folder(file, rootFolder.out(), nullptr) != 1 || !rootFolder)
        return WalkStep::Failed;
    int count = 0;
    if (libpff_item_get_number_of_sub_items(rootFolder.get(), &count, nullptr) != 1)
        return WalkStep::Failed;
    if (count == 0)
        return WalkStep::Done;
    return export_handle_export_sub_items(handle, rootFolder.get(), exportPath);
}

WalkStep export_handle_export_sub_items(export_handle* handle, libpff_item_t* item, const QString& exportPath)
{
    int count = 0;
    if (libpff_item_get_number_of_sub_items(item, &count, nullptr) != 1)
        return WalkStep::Failed;
    for (int index = 0; index < count; ++index) {
        if (!export_handle_checkpoint(handle))
            return WalkStep::Failed;
        // An item libpff cannot fetch is skipped and reported; its siblings are still read.
        PffItem subItem;
        if (libpff_item_get_sub_item(item, index, subItem.out(), nullptr) != 1 || !subItem) {
            ReportSkippedItem(handle, exportPath, index, QStringLiteral("the item cannot be read"));
            continue;
        }
        export_handle_export_item(handle, subItem.get(), index, count, exportPath);
        if (handle->abandoned)
            return WalkStep::Failed;
    }
    return WalkStep::Done;
}

WalkStep export_handle_export_item(export_handle* handle, libpff_item_t* item, int index, int /*count*/,
                                   const QString& exportPath)
{
    uint8_t type = 0;
    if (libpff_item_get_type(item, &type, nullptr) != 1) {
        ReportSkippedItem(handle, exportPath, index, QStringLiteral("the item's kind cannot be read"));
        return WalkStep::Done;
    }
    // Items beside the folders wait for the walk that reads them.
    if (handle->itemDetail == ItemDetail::FoldersOnly && type != LIBPFF_ITEM_TYPE_FOLDER)
        return WalkStep::Done;
    const bool topLevel = handle->attachmentPath.isEmpty();
    if (topLevel && type != LIBPFF_ITEM_TYPE_FOLDER) {
        uint32_t identifier = 0;
        libpff_item_get_identifier(item, &identifier, nullptr);
        handle->topLevelIdentifier = identifier;
        handle->topLevelExportPath = exportPath;
        handle->topLevelIndex = index;
    }
    switch (type) {
    case LIBPFF_ITEM_TYPE_APPOINTMENT:
        return export_handle_export_appointment(handle, item, index, exportPath);
    case LIBPFF_ITEM_TYPE_CONTACT:
        return export_handle_export_contact(handle, item, index, exportPath);
    case LIBPFF_ITEM_TYPE_EMAIL:
    case LIBPFF_ITEM_TYPE_EMAIL_SMIME:
    // Meeting requests, cancellations and responses are mail as well; so are
    // posts, feed items, faxes, voice and text messages, task requests,
    // sharing invitations, conflict notices and filed documents: each has a
    // subject, a sender, a time, a body and attachments, and a user expects
    // to find them in the folder they came from.
    case LIBPFF_ITEM_TYPE_MEETING:
    case LIBPFF_ITEM_TYPE_POSTING_NOTE:
    case LIBPFF_ITEM_TYPE_RSS_FEED:
    case LIBPFF_ITEM_TYPE_FAX:
    case LIBPFF_ITEM_TYPE_MMS:
    case LIBPFF_ITEM_TYPE_SMS:
    case LIBPFF_ITEM_TYPE_VOICEMAIL:
    case LIBPFF_ITEM_TYPE_TASK_REQUEST:
    case LIBPFF_ITEM_TYPE_SHARING:
    case LIBPFF_ITEM_TYPE_CONFLICT_MESSAGE:
    case LIBPFF_ITEM_TYPE_DOCUMENT:
    case LIBPFF_ITEM_TYPE_COMMON:
        return export_handle_export_email(handle, item, exportPath);
    case LIBPFF_ITEM_TYPE_FOLDER:
        return export_handle_export_folder(handle, item, index, exportPath);
    case LIBPFF_ITEM_TYPE_TASK:
    case LIBPFF_ITEM_TYPE_NOTE:
    case LIBPFF_ITEM_TYPE_ACTIVITY:
    case LIBPFF_ITEM_TYPE_DISTRIBUTION_LIST:
        // No record describes these; the conversion finds them again by where they are.
        if (topLevel && handle->store != nullptr) {
            OtherItemEntry entry;
            entry.kind = type == LIBPFF_ITEM_TYPE_TASK       ? OtherItemEntry::Kind::Task
                         : type == LIBPFF_ITEM_TYPE_NOTE     ? OtherItemEntry::Kind::Note
                         : type == LIBPFF_ITEM_TYPE_ACTIVITY ? OtherItemEntry::Kind::Journal
                                                             : OtherItemEntry::Kind::DistributionList;
            entry.folderName = export_handle_record_folder_name(handle, exportPath);
            entry.folderKey = export_handle_record_folder_key(handle, exportPath);
            entry.location = export_handle_item_location(handle, item);
            handle->store->AddOtherItem(std::move(entry));
        }
        return WalkStep::Done;
    default: {
        // What is not a message a user wrote or received (settings a client
        // keeps among the items, or a class libpff does not know) is named,
        // so nothing leaves the mailbox unaccounted for. One inside a message
        // travels in that message's file.
        if (!topLevel)
            return WalkStep::Done;
        const QString messageClass =
            ReadString(item, 0, PropertyTag::MessageClass, handle->asciiCodepage).value_or(QString());
        if (handle->store != nullptr)
            handle->store->AddNotConvertedItem(
                QStringLiteral("%1, item %2: %3")
                    .arg(FolderShownAs(exportPath))
                    .arg(index + 1)
                    .arg(messageClass.isEmpty() ? QStringLiteral("of no kind it names") : messageClass));
        return WalkStep::Done;
    }
    }
}

WalkStep export_handle_export_folder(export_handle* handle, libpff_item_t* folder, int index, const QString& exportPath)
{
    uint32_t identifier = 0;
    libpff_item_get_identifier(folder, &identifier, nullptr);
    // A folder below the bound, or one that loops back onto its own ancestors,
    // is left out with its whole subtree, and the user is told.
    if (handle->folderPath.size() >= kDeepestFolderWalk) {
        export_handle_report_skipped(handle, exportPath, QStringLiteral("folder %1").arg(index + 1),
                                     export_handle_nesting_reason(kDeepestFolderWalk));
        return WalkStep::Nothing;
    }
    if (handle->folderPath.contains(identifier)) {
        export_handle_report_skipped(handle, exportPath, QStringLiteral("folder %1").arg(index + 1),
                                     QStringLiteral("the folder contains itself"));
        return WalkStep::Nothing;
    }
    handle->folderPath.push_back(identifier);
    const WalkStep result = export_handle_walk_folder(handle, folder, index, exportPath);
    handle->folderPath.pop_back();
    return result;
}

WalkStep export_handle_walk_folder(export_handle* handle, libpff_item_t* folder, int index, const QString& exportPath)
{
    const QString storedName =
        ReadString(folder, 0, PropertyTag::DisplayName, handle->asciiCodepage).value_or(QString());
    const QString name = storedName.isEmpty() ? NumberedFolderName(index + 1) : storedName;

    QString folderPath;
    if (export_handle_create_target_path(handle, exportPath, name, &folderPath) != WalkStep::Done)
        return WalkStep::Failed;
    // A folder whose name would mix its items with another's takes its
    // number instead (and a further "-2", "-3", ... should that be taken too).
    for (int attempt = 1; FolderKeyTaken(handle, folderPath); ++attempt) {
        const QString numbered = attempt == 1 ? NumberedFolderName(index + 1)
                                              : NumberedFolderName(index + 1) + u'-' + QString::number(attempt);
        folderPath = QString();
        if (export_handle_create_target_path(handle, exportPath, numbered, &folderPath) != WalkStep::Done)
            return WalkStep::Failed;
    }
    // A walk of the folders alone counts each folder's items instead of
    // reading them; a list that cannot be counted is named by the walk that
    // reads the items.
    const bool foldersOnly = handle->itemDetail == ItemDetail::FoldersOnly;
    int listedItems = 0;
    if (foldersOnly && libpff_folder_get_number_of_sub_messages(folder, &listedItems, nullptr) != 1)
        listedItems = 0;
    uint32_t identifier = 0;
    libpff_item_get_identifier(folder, &identifier, nullptr);
    const QString containerClass =
        ReadString(folder, 0, PropertyTag::ContainerClass, handle->asciiCodepage).value_or(QString());
    export_handle_add_folder_node(handle, exportPath, LastPathComponent(folderPath),
                                  storedName.isEmpty() ? name : storedName, listedItems, identifier, containerClass);

    // A list that cannot be read costs only that list, named; the folder's
    // other list is still read.
    export_handle_export_sub_folders(handle, folder, folderPath);
    if (handle->abandoned)
        return WalkStep::Failed;
    if (!foldersOnly)
        export_handle_export_sub_messages(handle, folder, folderPath);
    return handle->abandoned ? WalkStep::Failed : WalkStep::Done;
}

WalkStep export_handle_export_sub_folders(export_handle* handle, libpff_item_t* folder, const QString& exportPath)
{
    int count = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &count, nullptr) != 1) {
        export_handle_report_skipped(handle, exportPath, QStringLiteral("its sub-folders"),
                                     QStringLiteral("the list of sub-folders cannot be read"));
        return WalkStep::Nothing;
    }
    for (int index = 0; index < count; ++index) {
        if (!export_handle_checkpoint(handle))
            return WalkStep::Failed;
        Progress(handle, std::min(index, 100));
        PffItem subFolder;
        if (libpff_folder_get_sub_folder(folder, index, subFolder.out(), nullptr) != 1 || !subFolder) {
            export_handle_report_skipped(handle, exportPath, QStringLiteral("folder %1").arg(index + 1),
                                         QStringLiteral("the folder cannot be read"));
            continue;
        }
        export_handle_export_folder(handle, subFolder.get(), index, exportPath);
        if (handle->abandoned)
            return WalkStep::Failed;
        Progress(handle, 0);
    }
    Progress(handle, 0);
    return WalkStep::Done;
}

WalkStep export_handle_export_sub_messages(export_handle* handle, libpff_item_t* folder, const QString& exportPath)
{
    int count = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &count, nullptr) != 1) {
        export_handle_report_skipped(handle, exportPath, QStringLiteral("its items"),
                                     QStringLiteral("the list of items cannot be read"));
        return WalkStep::Nothing;
    }
    int step = 0;
    for (int index = 0; index < count; ++index) {
        if (!export_handle_checkpoint(handle))
            return WalkStep::Failed;
        Progress(handle, step);
        step = step >= 100 ? 1 : step + 1;
        PffItem message;
        if (libpff_folder_get_sub_message(folder, index, message.out(), nullptr) != 1 || !message) {
            ReportSkippedItem(handle, exportPath, index, QStringLiteral("the item cannot be read"));
            continue;
        }
        export_handle_export_item(handle, message.get(), index, count, exportPath);
        if (handle->abandoned)
            return WalkStep::Failed;
    }
    Progress(handle, 0);
    return WalkStep::Done;
}

WalkStep export_handle_create_target_path(export_handle* handle, const QString& path, const QString& name,
                                          QString* target, QChar separator)
{
    if (path.isNull() || name.isNull() || target == nullptr || !target->isNull())
        return WalkStep::Failed;
    // The name is sanitised on its own: a separator inside it must not split it.
    QString namePart = name;
    if (export_handle_sanitize_filename(handle, &namePart) != WalkStep::Done)
        return WalkStep::Failed;
    *target = path + separator + namePart;
    return WalkStep::Done;
}

WalkStep export_handle_sanitize_filename(export_handle* /*handle*/, QString* name)
{
    if (name == nullptr)
        return WalkStep::Failed;
    SanitizeFileName(*name);
    return WalkStep::Done;
}

}  // namespace tolvane
