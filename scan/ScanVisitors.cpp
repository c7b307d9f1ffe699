// What the scan does with each folder and item the walk meets; see ScanVisitors.h.
#include "scan/ScanVisitors.h"

#include "scan/ExportHandle.h"
#include "scan/ItemStore.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"
#include "scan/ScanTexts.h"

namespace tolvane {

namespace {

OtherItemEntry::Kind OtherKindOf(uint8_t type)
{
    switch (type) {
    case LIBPFF_ITEM_TYPE_TASK: return OtherItemEntry::Kind::Task;
    case LIBPFF_ITEM_TYPE_NOTE: return OtherItemEntry::Kind::Note;
    case LIBPFF_ITEM_TYPE_ACTIVITY: return OtherItemEntry::Kind::Journal;
    default: return OtherItemEntry::Kind::DistributionList;
    }
}

}  // namespace

void FolderTreeVisitor::FolderEntered(MailboxWalk& walk, const WalkFolder& folder)
{
    // A walk of the folders alone counts each folder's items instead of
    // reading them; a list that cannot be counted is named by the walk that
    // reads the items.
    int listedItems = 0;
    if (!WantsItems() && libpff_folder_get_number_of_sub_messages(folder.item, &listedItems, nullptr) != 1)
        listedItems = 0;
    const QString containerClass =
        ReadString(folder.item, 0, PropertyTag::ContainerClass, walk.asciiCodepage()).value_or(QString());
    const QString directoryName = LastPathComponent(folder.path);
    const QString storedName =
        folder.storedName.isEmpty() ? NumberedFolderName(folder.index + 1) : folder.storedName;
    export_handle_add_folder_node(handle_, folder.parentPath, directoryName, storedName, listedItems,
                                  folder.identifier, containerClass);
}

WalkStep FolderTreeVisitor::ItemFound(MailboxWalk&, libpff_item_t*, uint8_t, int, const QString&)
{
    return WalkStep::Nothing;
}

WalkStep ItemRecordVisitor::ItemFound(MailboxWalk& walk, libpff_item_t* item, uint8_t type, int index,
                                      const QString& folderPath)
{
    const bool topLevel = walk.cursor().atTopLevel();
    switch (type) {
    case LIBPFF_ITEM_TYPE_APPOINTMENT:
        return export_handle_export_appointment(handle_, item, index, folderPath);
    case LIBPFF_ITEM_TYPE_CONTACT:
        return export_handle_export_contact(handle_, item, index, folderPath);
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
        return export_handle_export_email(handle_, item, folderPath);
    case LIBPFF_ITEM_TYPE_TASK:
    case LIBPFF_ITEM_TYPE_NOTE:
    case LIBPFF_ITEM_TYPE_ACTIVITY:
    case LIBPFF_ITEM_TYPE_DISTRIBUTION_LIST: {
        // No record describes these; the conversion finds them again by where they are.
        if (!topLevel || handle_->store == nullptr)
            return WalkStep::Nothing;
        OtherItemEntry entry;
        entry.kind = OtherKindOf(type);
        entry.folderName = export_handle_record_folder_name(handle_, folderPath);
        entry.folderKey = export_handle_record_folder_key(handle_, folderPath);
        entry.location = export_handle_item_location(handle_, item);
        handle_->store->AddOtherItem(std::move(entry));
        return WalkStep::Done;
    }
    default: {
        // What is not a message a user wrote or received (settings a client
        // keeps among the items, or a class libpff does not know) is named,
        // so nothing leaves the mailbox unaccounted for. One inside a message
        // travels in that message's file.
        if (!topLevel || handle_->store == nullptr)
            return WalkStep::Nothing;
        const QString messageClass =
            ReadString(item, 0, PropertyTag::MessageClass, handle_->asciiCodepage).value_or(QString());
        handle_->store->AddNotConvertedItem(
            QStringLiteral("%1, item %2: %3")
                .arg(FolderShownAs(folderPath))
                .arg(index + 1)
                .arg(messageClass.isEmpty() ? QStringLiteral("of no kind it names") : messageClass));
        return WalkStep::Done;
    }
    }
}

std::unique_ptr<WalkVisitor> MakeScanVisitor(export_handle* handle)
{
    if (handle->itemDetail == ItemDetail::FoldersOnly)
        return std::make_unique<FolderTreeVisitor>(handle);
    return std::make_unique<ItemRecordVisitor>(handle);
}

}  // namespace tolvane
