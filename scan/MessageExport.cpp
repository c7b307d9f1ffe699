// The message exporter: one e-mail item becomes one MailRecord, which the
// store keeps and the events announce. Embedded messages found among the attachments are
// exported as messages of their own, each with its own collectors.
#include "scan/ExportHandle.h"

#include "scan/AttachmentName.h"
#include "scan/ItemStore.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/ScanEvents.h"
#include "scan/PropertyTags.h"
#include "scan/ScanTexts.h"

namespace tolvane {

namespace {

std::optional<int32_t> ReadSigned32(libpff_item_t* item, uint32_t entryType)
{
    if (const auto value = Read32(item, 0, entryType))
        return static_cast<int32_t>(*value);
    return std::nullopt;
}

}  // namespace

WalkStep export_handle_export_email(export_handle* handle, libpff_item_t* message, const QString& exportPath)
{
    MessageCollectors collectors;
    const bool listed = handle->itemDetail == ItemDetail::Listed;
    // A message without a body the record keeps, or without recipients, is
    // still a message: neither step's outcome stops its record.
    if (listed && export_handle_export_message_body(handle, message, exportPath, &collectors) == WalkStep::Failed)
        collectors.body.clear();
    // An attachment that cannot be read costs its name in the record (and is
    // reported), never the message itself.
    if (export_handle_export_attachments(handle, message, handle->attachmentNamesRoot, &collectors)
        == WalkStep::Failed)
        return WalkStep::Failed;
    if (listed && export_handle_export_recipients(handle, message, exportPath, &collectors) == WalkStep::Failed)
        collectors.recipients.clear();
    return export_handle_export_message_header(handle, message, exportPath, &collectors);
}

WalkStep export_handle_export_message_body(export_handle* handle, libpff_item_t* message, const QString& /*exportPath*/,
                                           MessageCollectors* collectors)
{
    if (const auto html = ReadHtmlBody(message, handle->asciiCodepage)) {
        if (BodyIsKept(html->storedSize)) {
            collectors->body = html->utf8;
            handle->lastKeptBodyKind = BodyKind::Html;
        }
        return WalkStep::Done;
    }
    if (const auto plain = ReadPlainTextBody(message, handle->asciiCodepage)) {
        if (BodyIsKept(plain->storedSize)) {
            collectors->body = plain->utf8;
            handle->lastKeptBodyKind = BodyKind::PlainText;
        }
        return WalkStep::Done;
    }
    // An RTF body alone is not kept.
    return WalkStep::Nothing;
}

WalkStep export_handle_export_attachments(export_handle* handle, libpff_item_t* message,
                                          const QString& directory, MessageCollectors* collectors)
{
    int count = 0;
    if (libpff_message_get_number_of_attachments(message, &count, nullptr) != 1 || count <= 0)
        return WalkStep::Nothing;
    MailboxWalk& walk = export_handle_walk(handle);
    for (int index = 0; index < count; ++index) {
        if (walk.abandoned())
            return WalkStep::Failed;
        PffItem attachment;
        if (libpff_message_get_attachment(message, index, attachment.out(), nullptr) != 1 || !attachment) {
            walk.ReportSkippedAttachment(index, QStringLiteral("the attachment cannot be read"));
            continue;
        }
        // One attachment's failure costs that attachment alone.
        if (export_handle_export_attachment(handle, attachment.get(), index, directory, collectors) == WalkStep::Failed
            && walk.abandoned())
            return WalkStep::Failed;
    }
    return WalkStep::Done;
}

WalkStep export_handle_export_attachment(export_handle* handle, libpff_item_t* attachment, int index,
                                         const QString& directory, MessageCollectors* collectors)
{
    int type = 0;
    if (libpff_attachment_get_type(attachment, &type, nullptr) != 1) {
        export_handle_walk(handle).ReportSkippedAttachment(index, QStringLiteral("the attachment's kind cannot be read"));
        return WalkStep::Nothing;
    }
    if (type != LIBPFF_ATTACHMENT_TYPE_DATA && type != LIBPFF_ATTACHMENT_TYPE_ITEM)
        return WalkStep::Done;

    // Where only the mail's place is wanted, its attachments are opened only
    // to find the items embedded in it (a meeting's appointment belongs in
    // its folder's calendar too); the names are left to the conversion.
    const bool listed = handle->itemDetail == ItemDetail::Listed;
    if (!listed && type != LIBPFF_ATTACHMENT_TYPE_ITEM)
        return WalkStep::Done;
    QString name;
    if (type == LIBPFF_ATTACHMENT_TYPE_DATA)
        name = AttachmentName(attachment, MessageCodePage(attachment, handle->asciiCodepage));
    if (name.isNull())
        name = QString(u""_qs);

    QString path;
    if (export_handle_create_target_path(handle, directory, name, &path, u'/') != WalkStep::Done)
        return WalkStep::Failed;
    // The path is the attachment's name in the record, nothing more: the scan
    // writes and tests nothing in the file system (a name too long for it
    // would otherwise have cost an embedded message its walk).
    if (listed)
        collectors->attachments.push_back(path);
    if (type != LIBPFF_ATTACHMENT_TYPE_ITEM)
        return WalkStep::Done;
    // The embedded item is read as an item of its own, the attachment's
    // path its folder's path; the walk cuts and reports what it cannot read.
    return export_handle_walk(handle).VisitEmbeddedItem(attachment, index, path);
}

WalkStep export_handle_export_recipients(export_handle* handle, libpff_item_t* message, const QString& /*exportPath*/,
                                         MessageCollectors* collectors)
{
    PffItem recipients;
    if (libpff_message_get_recipients(message, recipients.out(), nullptr) != 1 || !recipients)
        return WalkStep::Nothing;
    int sets = 0;
    if (libpff_item_get_number_of_record_sets(recipients.get(), &sets, nullptr) != 1)
        return WalkStep::Failed;
    const int codePage = MessageCodePage(message, handle->asciiCodepage);
    for (int set = 0; set < sets; ++set) {
        if (const auto name = ReadString(recipients.get(), set, PropertyTag::DisplayName, codePage))
            collectors->recipients.push_back(*name);
    }
    return WalkStep::Done;
}

WalkStep export_handle_export_message_header(export_handle* handle, libpff_item_t* message, const QString& exportPath,
                                             MessageCollectors* collectors)
{
    if (export_handle_walk(handle).abandoned() || handle->store == nullptr)
        return WalkStep::Failed;
    const int fileCodePage = handle->asciiCodepage;
    MailRecord record;
    record.folderName = export_handle_record_folder_name(handle, exportPath);
    record.folderKey = export_handle_record_folder_key(handle, exportPath);
    record.location = export_handle_item_location(handle, message);
    if (handle->itemDetail == ItemDetail::WhereOnly) {
        record.number = handle->store->NextItemNumber();
        handle->store->AddMailRecord(record);
        if (handle->events != nullptr)
            handle->events->MailFound(record);
        return WalkStep::Done;
    }

    const auto subject = ReadSubject(message, fileCodePage);
    // A subject of exactly one space counts as none.
    record.subject = NullIfSpace(subject ? CleanSubject(*subject) : QString());
    record.senderName = ReadMessageString(message, PropertyTag::SenderName, fileCodePage);
    record.senderAddress = ReadMessageString(message, PropertyTag::SenderAddress, fileCodePage);
    record.deliveryTime = ReadFileTime(message, 0, PropertyTag::DeliveryTime);
    record.creationTime = ReadFileTime(message, 0, PropertyTag::CreationTime);
    record.modificationTime = ReadFileTime(message, 0, PropertyTag::ModificationTime);
    record.size = ReadSigned32(message, PropertyTag::MessageSize);
    record.flag = Read32(message, 0, PropertyTag::MessageFlags);
    record.importance = ReadSigned32(message, PropertyTag::Importance);
    record.priority = ReadSigned32(message, PropertyTag::Priority);
    record.sensitivity = ReadSigned32(message, PropertyTag::Sensitivity);
    record.recipients = std::move(collectors->recipients);
    // A body of one space counts as none, as every other text of the record.
    record.body = collectors->body == " " ? StoredText() : handle->store->KeepBody(collectors->body);
    record.attachments = std::move(collectors->attachments);
    record.bodyKind = handle->lastKeptBodyKind;

    collectors->body.clear();
    collectors->recipients.clear();
    collectors->attachments.clear();

    record.number = handle->store->NextItemNumber();
    // Into the store first, so a reader that sees the row finds its record.
    handle->store->AddMailRecord(record);
    if (handle->events != nullptr)
        handle->events->MailFound(record);
    return WalkStep::Done;
}

}  // namespace tolvane
