// Contacts and appointments: one record each, no list row during the scan. A
// walk for a conversion that reads every item itself records only where each is.
#include "scan/ExportHandle.h"

#include "scan/ContactFields.h"
#include "scan/ItemStore.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"
#include "scan/ScanTexts.h"

namespace tolvane {

WalkStep export_handle_export_contact(export_handle* handle, libpff_item_t* contact, int /*index*/,
                                      const QString& exportPath)
{
    ContactRecord record;
    record.folderName = export_handle_record_folder_name(handle, exportPath);
    record.folderKey = export_handle_record_folder_key(handle, exportPath);
    if (handle->itemDetail == ItemDetail::Listed)
        ReadContactFields(contact, handle->asciiCodepage, record);
    record.location = export_handle_item_location(handle, contact);

    if (export_handle_walk(handle).abandoned() || handle->store == nullptr)
        return WalkStep::Failed;
    record.number = handle->store->NextItemNumber();
    handle->store->AddContactRecord(std::move(record));
    return WalkStep::Done;
}

WalkStep export_handle_export_appointment(export_handle* handle, libpff_item_t* appointment, int /*index*/,
                                          const QString& exportPath)
{
    AppointmentRecord record;
    record.folderName = export_handle_record_folder_name(handle, exportPath);
    record.folderKey = export_handle_record_folder_key(handle, exportPath);
    if (handle->itemDetail == ItemDetail::Listed) {
        record.startTime = ReadFileTime(appointment, 0, PropertyTag::AppointmentStartWhole);
        record.endTime = ReadFileTime(appointment, 0, PropertyTag::AppointmentEndWhole);
        record.location = ReadMessageString(appointment, PropertyTag::AppointmentLocation, handle->asciiCodepage)
                              .value_or(QString());
        record.recurrencePattern =
            ReadMessageString(appointment, PropertyTag::RecurrencePattern, handle->asciiCodepage).value_or(QString());
    }
    record.itemLocation = export_handle_item_location(handle, appointment);

    // The appointment's attachments are visited (embedded items become records
    // of their own) but no record lists their names.
    MessageCollectors discarded;
    if (export_handle_export_attachments(handle, appointment, handle->attachmentNamesRoot, &discarded)
        == WalkStep::Failed)
        return WalkStep::Failed;

    if (export_handle_walk(handle).abandoned() || handle->store == nullptr)
        return WalkStep::Failed;
    record.number = handle->store->NextItemNumber();
    handle->store->AddAppointmentRecord(std::move(record));
    return WalkStep::Done;
}

}  // namespace tolvane
