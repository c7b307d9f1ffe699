// The walk over a mailbox: depth-first from the root folder, a folder's
// sub-folders before its items, every item handed to the visitor; see
// MailboxWalk.h.
#include "scan/MailboxWalk.h"

#include "scan/ItemStore.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"
#include "scan/ScanEvents.h"
#include "scan/WorkerGate.h"

#include <algorithm>

namespace tolvane {

namespace {

const QString kExportRoot = QStringLiteral(".export");

QString ItemWithin(int index) { return QStringLiteral("item %1").arg(index + 1); }
QString FolderWithin(int index) { return QStringLiteral("folder %1").arg(index + 1); }

}  // namespace

QString FolderShownAs(const QString& exportPath)
{
    QString folder = exportPath;
    if (folder.startsWith(kExportRoot))
        folder.remove(0, kExportRoot.size());
    return folder.isEmpty() ? QStringLiteral("/") : folder;
}

QString NestingReason(int bound)
{
    return QStringLiteral("nested deeper than %1 levels").arg(bound);
}

MailboxWalk::MailboxWalk(WalkVisitor& visitor, WalkReporting reporting, WorkerGate* gate, int asciiCodepage)
    : visitor_(visitor), reporting_(reporting), gate_(gate), asciiCodepage_(asciiCodepage)
{
}

WalkResult MailboxWalk::Run(libpff_file_t* file, const QString& exportRoot)
{
    PffItem rootFolder;
    if (file == nullptr || libpff_file_get_root_folder(file, rootFolder.out(), nullptr) != 1 || !rootFolder)
        return Failed(WalkStop{WalkStopKind::RootUnreadable, QStringLiteral("the root folder cannot be read")});
    int count = 0;
    if (libpff_item_get_number_of_sub_items(rootFolder.get(), &count, nullptr) != 1)
        return Failed(WalkStop{WalkStopKind::RootUnreadable,
                               QStringLiteral("the root folder's list of items cannot be read")});
    if (count > 0 && WalkSubItems(rootFolder.get(), exportRoot) == WalkStep::Failed && !abandoned_)
        return Failed(WalkStop{WalkStopKind::RootUnreadable,
                               QStringLiteral("the root folder's list of items cannot be read")});
    if (abandoned_)
        return Failed(WalkStop{WalkStopKind::Abandoned, QString()});
    return {};
}

bool MailboxWalk::Checkpoint()
{
    if (abandoned_)
        return false;
    if (gate_ != nullptr && !gate_->Checkpoint())
        abandoned_ = true;
    return !abandoned_;
}

void MailboxWalk::Progress(int position)
{
    if (reporting_.events != nullptr)
        reporting_.events->Progress(position);
}

// Names a skipped item: its folder path as the tree shows it (without the
// scan's private export root) and the item within that folder.
void MailboxWalk::ReportSkipped(const QString& exportPath, const QString& what, const QString& reason)
{
    const UnreadableItem item{FolderShownAs(exportPath), what, reason};
    if (reporting_.store != nullptr)
        reporting_.store->AddSkippedItem(item.place() + QStringLiteral(": ") + reason);
    if (reporting_.events != nullptr)
        reporting_.events->ItemUnreadable(item);
}

void MailboxWalk::ReportSkippedAttachment(int index, const QString& reason)
{
    QString what = QStringLiteral("%1, attachment %2").arg(ItemWithin(cursor_.topLevelIndex)).arg(index + 1);
    if (!cursor_.atTopLevel())
        what += QStringLiteral(" of the message embedded at level %1").arg(cursor_.attachmentPath.size());
    ReportSkipped(cursor_.topLevelExportPath, what, reason);
}

WalkStep MailboxWalk::WalkSubItems(libpff_item_t* item, const QString& exportPath)
{
    int count = 0;
    if (libpff_item_get_number_of_sub_items(item, &count, nullptr) != 1)
        return WalkStep::Failed;
    for (int index = 0; index < count; ++index) {
        if (!Checkpoint())
            return WalkStep::Failed;
        // An item libpff cannot fetch is skipped and reported; its siblings are still read.
        PffItem subItem;
        if (libpff_item_get_sub_item(item, index, subItem.out(), nullptr) != 1 || !subItem) {
            ReportSkipped(exportPath, ItemWithin(index), QStringLiteral("the item cannot be read"));
            continue;
        }
        if (VisitItem(subItem.get(), index, exportPath) == WalkStep::Failed && abandoned_)
            return WalkStep::Failed;
    }
    return WalkStep::Done;
}

WalkStep MailboxWalk::VisitItem(libpff_item_t* item, int index, const QString& exportPath)
{
    uint8_t type = 0;
    if (libpff_item_get_type(item, &type, nullptr) != 1) {
        ReportSkipped(exportPath, ItemWithin(index), QStringLiteral("the item's kind cannot be read"));
        return WalkStep::Nothing;
    }
    if (type == LIBPFF_ITEM_TYPE_FOLDER)
        return EnterFolder(item, index, exportPath);
    // Items beside the folders wait for the walk that reads them.
    if (!visitor_.WantsItems())
        return WalkStep::Nothing;
    if (cursor_.atTopLevel())
        cursor_.EnterTopLevelItem(item, index, exportPath);
    const WalkStep result = visitor_.ItemFound(*this, item, type, index, exportPath);
    return abandoned_ ? WalkStep::Failed : result;
}

WalkStep MailboxWalk::EnterFolder(libpff_item_t* folder, int index, const QString& parentPath)
{
    uint32_t identifier = 0;
    libpff_item_get_identifier(folder, &identifier, nullptr);
    // A folder below the bound, or one that loops back onto its own ancestors,
    // is left out with its whole subtree, and the user is told.
    if (cursor_.folderDepth() >= kDeepestFolderWalk) {
        ReportSkipped(parentPath, FolderWithin(index), NestingReason(kDeepestFolderWalk));
        return WalkStep::Nothing;
    }
    if (cursor_.folderIdentifiers.contains(identifier)) {
        ReportSkipped(parentPath, FolderWithin(index), QStringLiteral("the folder contains itself"));
        return WalkStep::Nothing;
    }
    cursor_.folderIdentifiers.push_back(identifier);
    cursor_.folderPositions.push_back(index);
    const WalkStep result = WalkFolderContents(folder, index, identifier, parentPath);
    cursor_.folderPositions.pop_back();
    cursor_.folderIdentifiers.pop_back();
    return result;
}

WalkStep MailboxWalk::WalkFolderContents(libpff_item_t* folder, int index, uint32_t identifier,
                                         const QString& parentPath)
{
    const QString storedName = ReadString(folder, 0, PropertyTag::DisplayName, asciiCodepage_).value_or(QString());
    const QString path = naming_.NameFolder(parentPath, storedName, index);
    if (path.isNull())
        return WalkStep::Failed;
    visitor_.FolderEntered(*this, WalkFolder{folder, index, identifier, parentPath, path, storedName});

    // A list that cannot be read costs only that list, named; the folder's
    // other list is still read.
    if (WalkSubFolders(folder, path) == WalkStep::Failed && abandoned_)
        return WalkStep::Failed;
    if (visitor_.WantsItems() && WalkSubMessages(folder, path) == WalkStep::Failed && abandoned_)
        return WalkStep::Failed;
    return WalkStep::Done;
}

WalkStep MailboxWalk::WalkSubFolders(libpff_item_t* folder, const QString& exportPath)
{
    int count = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &count, nullptr) != 1) {
        ReportSkipped(exportPath, QStringLiteral("its sub-folders"),
                      QStringLiteral("the list of sub-folders cannot be read"));
        return WalkStep::Nothing;
    }
    for (int index = 0; index < count; ++index) {
        if (!Checkpoint())
            return WalkStep::Failed;
        Progress(std::min(index, 100));
        PffItem subFolder;
        if (libpff_folder_get_sub_folder(folder, index, subFolder.out(), nullptr) != 1 || !subFolder) {
            ReportSkipped(exportPath, FolderWithin(index), QStringLiteral("the folder cannot be read"));
            continue;
        }
        if (EnterFolder(subFolder.get(), index, exportPath) == WalkStep::Failed && abandoned_)
            return WalkStep::Failed;
        Progress(0);
    }
    Progress(0);
    return WalkStep::Done;
}

WalkStep MailboxWalk::WalkSubMessages(libpff_item_t* folder, const QString& exportPath)
{
    int count = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &count, nullptr) != 1) {
        ReportSkipped(exportPath, QStringLiteral("its items"), QStringLiteral("the list of items cannot be read"));
        return WalkStep::Nothing;
    }
    int step = 0;
    for (int index = 0; index < count; ++index) {
        if (!Checkpoint())
            return WalkStep::Failed;
        Progress(step);
        step = step >= 100 ? 1 : step + 1;
        PffItem message;
        if (libpff_folder_get_sub_message(folder, index, message.out(), nullptr) != 1 || !message) {
            ReportSkipped(exportPath, ItemWithin(index), QStringLiteral("the item cannot be read"));
            continue;
        }
        if (VisitItem(message.get(), index, exportPath) == WalkStep::Failed && abandoned_)
            return WalkStep::Failed;
    }
    Progress(0);
    return WalkStep::Done;
}

WalkStep MailboxWalk::VisitEmbeddedItem(libpff_item_t* attachment, int index, const QString& path)
{
    // Messages nested deeper than any real one are cut, and named as left out:
    // a damaged file could nest them without end.
    const int level = static_cast<int>(cursor_.attachmentPath.size());
    if (level >= kDeepestEmbedding) {
        ReportSkipped(cursor_.topLevelExportPath,
                      QStringLiteral("%1, message embedded at level %2").arg(ItemWithin(cursor_.topLevelIndex)).arg(level + 1),
                      NestingReason(kDeepestEmbedding));
        return WalkStep::Nothing;
    }
    // One whose kind cannot be read is named as the message's attachment, not
    // as an item of a folder the attachment's path names.
    PffItem embedded;
    uint8_t type = 0;
    if (libpff_attachment_get_item(attachment, embedded.out(), nullptr) != 1 || !embedded
        || libpff_item_get_type(embedded.get(), &type, nullptr) != 1) {
        ReportSkippedAttachment(index, QStringLiteral("the embedded item cannot be read"));
        return WalkStep::Nothing;
    }
    cursor_.attachmentPath.push_back(index);
    const WalkStep result = VisitItem(embedded.get(), 0, path);
    cursor_.attachmentPath.pop_back();
    return result;
}

}  // namespace tolvane
