// Contacts and appointments: one record each, no list row during the scan.
#include "ExportHandle.h"

#include "ItemStore.h"
#include "PffProperties.h"
#include "ScanTexts.h"
#include "TimeText.h"

namespace tolvane {

namespace {

struct ContactField {
    QString ContactRecord::*field;
    uint32_t entryType;
};

// Which property fills which contact field. Fields not listed are never filled.
const ContactField kContactFields[] = {
    {&ContactRecord::companyName, 0x3A16},      {&ContactRecord::generation, 0x3A05},
    {&ContactRecord::fileUnder, 0x8005},        {&ContactRecord::title, 0x3A17},
    {&ContactRecord::customerId, 0x3A4A},       {&ContactRecord::mobilePhone, 0x3A1C},
    {&ContactRecord::hobbies, 0x3A43},          {&ContactRecord::homeStreet, 0x3A5D},
    {&ContactRecord::surname, 0x3A11},          {&ContactRecord::givenName, 0x3A06},
    {&ContactRecord::middleName, 0x3A44},       {&ContactRecord::homePhone, 0x3A09},
    {&ContactRecord::businessPhone, 0x3A08},    {&ContactRecord::businessFax, 0x3A24},
    {&ContactRecord::homeFax, 0x3A25},          {&ContactRecord::language, 0x002F},
    {&ContactRecord::officeLocation, 0x3A19},   {&ContactRecord::pager, 0x3A21},
    {&ContactRecord::isdnNumber, 0x3A2D},       {&ContactRecord::assistantPhone, 0x3A2E},
    {&ContactRecord::assistant, 0x3A30},        {&ContactRecord::profession, 0x3A46},
    {&ContactRecord::spouseName, 0x3A48},       {&ContactRecord::companyMainPhone, 0x3A57},
    {&ContactRecord::homeCity, 0x3A59},         {&ContactRecord::weddingAnniversary, 0x3A41},
    {&ContactRecord::birthday, 0x3A42},         {&ContactRecord::managerName, 0x3A4E},
    {&ContactRecord::nickname, 0x3A4F},         {&ContactRecord::personalHomePage, 0x3A50},
    {&ContactRecord::businessHomePage, 0x3A51}, {&ContactRecord::homeCountry, 0x3A5A},
    {&ContactRecord::homePostalCode, 0x3A5B},   {&ContactRecord::homeState, 0x3A5C},
    {&ContactRecord::homeAddress, 0x3A5D},      {&ContactRecord::otherCity, 0x3A5F},
    {&ContactRecord::otherCountry, 0x3A60},     {&ContactRecord::otherState, 0x3A62},
    {&ContactRecord::otherStreet, 0x3A63},      {&ContactRecord::otherTelephone, 0x3A1F},
    {&ContactRecord::otherPostalCode, 0x3A61},  {&ContactRecord::callbackPhone, 0x3A02},
    {&ContactRecord::carPhone, 0x3A1E},         {&ContactRecord::department, 0x3A18},
    {&ContactRecord::account, 0x3A00},          {&ContactRecord::home2Phone, 0x3A2F},
    {&ContactRecord::mobilePhone2, 0x3A1C},     {&ContactRecord::telexNumber, 0x3A2C},
    {&ContactRecord::radioPhone, 0x3A1D},       {&ContactRecord::ttyTddPhone, 0x3A4B},
    {&ContactRecord::governmentId, 0x3A07},     {&ContactRecord::organizationalId, 0x3A10},
    {&ContactRecord::formerDisplayName, 0x3A13},
};

constexpr uint32_t kAppointmentStart = 0x820D;
constexpr uint32_t kAppointmentEnd = 0x820E;
constexpr uint32_t kAppointmentLocation = 0x8208;
constexpr uint32_t kRecurrencePattern = 0x8232;

QString TextOrSpace(libpff_item_t* item, uint32_t entryType, int fileCodePage)
{
    const auto text = ReadMessageString(item, entryType, fileCodePage);
    if (!text || text->isEmpty())
        return QStringLiteral(" ");
    return *text;
}

}  // namespace

int export_handle_export_contact(export_handle* handle, libpff_item_t* contact, int /*index*/,
                                 const QString& exportPath, char /*format*/, int recordItemType)
{
    ContactRecord record;
    record.folderName = LastPathComponent(exportPath);
    record.folderKey = export_handle_record_folder_key(handle, exportPath);
    record.itemType = recordItemType;
    for (const ContactField& entry : kContactFields)
        record.*entry.field = ReadMessageString(contact, entry.entryType, handle->asciiCodepage).value_or(QString());
    if (const auto notes = ReadPlainTextBody(contact, handle->asciiCodepage))
        record.notes = notes->text();
    record.location = export_handle_item_location(handle, contact);

    if (handle->abandoned || handle->store == nullptr)
        return -1;
    record.number = handle->store->NextItemNumber();
    handle->store->AddContactRecord(std::move(record));
    return 1;
}

int export_handle_export_appointment(export_handle* handle, libpff_item_t* appointment, int /*index*/,
                                     const QString& exportPath, char format, int recordItemType)
{
    AppointmentRecord record;
    record.folderName = LastPathComponent(exportPath);
    record.folderKey = export_handle_record_folder_key(handle, exportPath);
    record.itemType = recordItemType;
    record.startTime = ReadTimeText(appointment, 0, kAppointmentStart).value_or(QString(u""_qs));
    record.endTime = ReadTimeText(appointment, 0, kAppointmentEnd).value_or(QString(u""_qs));
    record.location = TextOrSpace(appointment, kAppointmentLocation, handle->asciiCodepage);
    record.recurrencePattern = TextOrSpace(appointment, kRecurrencePattern, handle->asciiCodepage);
    record.placeholderA = QStringLiteral("None");
    record.subjectPlaceholder = QStringLiteral("None");
    record.itemLocation = export_handle_item_location(handle, appointment);

    // The appointment's attachments are visited (embedded items become records
    // of their own) but no record lists their names.
    MessageCollectors discarded;
    export_handle_export_attachments(handle, appointment, handle->attachmentDirectory, format, &discarded);

    if (handle->abandoned || handle->store == nullptr)
        return -1;
    record.number = handle->store->NextItemNumber();
    handle->store->AddAppointmentRecord(std::move(record));
    return 1;
}

}  // namespace tolvane
