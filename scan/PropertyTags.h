// The MAPI property identifiers the program reads, in one place: the scan, the
// conversion and the tests name a property only through these constants.
//
// Numbers below 0x8000 are fixed tags. Numbers at or above 0x8000 are named
// properties as libpff hands them out after resolving them through the file's
// name-to-id map (its fixed numbering of the well-known names); the property
// set each belongs to is noted beside it.
#pragma once

#include <cstdint>

namespace tolvane::PropertyTag {

// Message envelope and state.
inline constexpr uint32_t Importance = 0x0017;
inline constexpr uint32_t MessageClass = 0x001A;
inline constexpr uint32_t Priority = 0x0026;
inline constexpr uint32_t Sensitivity = 0x0036;
inline constexpr uint32_t Subject = 0x0037;
inline constexpr uint32_t ClientSubmitTime = 0x0039;
inline constexpr uint32_t SentRepresentingName = 0x0042;
inline constexpr uint32_t SentRepresentingAddressType = 0x0064;
inline constexpr uint32_t SentRepresentingAddress = 0x0065;
inline constexpr uint32_t TransportHeaders = 0x007D;
inline constexpr uint32_t RecipientType = 0x0C15;
inline constexpr uint32_t SenderName = 0x0C1A;
inline constexpr uint32_t SenderAddressType = 0x0C1E;
inline constexpr uint32_t SenderAddress = 0x0C1F;
inline constexpr uint32_t DeliveryTime = 0x0E06;
inline constexpr uint32_t MessageFlags = 0x0E07;
inline constexpr uint32_t MessageStatus = 0x0E17;
inline constexpr uint32_t LastVerbExecuted = 0x1081;
inline constexpr uint32_t FlagStatus = 0x1090;
inline constexpr uint32_t MessageSize = 0x0E08;
inline constexpr uint32_t SenderSmtpAddress = 0x5D01;
inline constexpr uint32_t SentRepresentingSmtpAddress = 0x5D02;
inline constexpr uint32_t ReadReceiptRequested = 0x0029;
inline constexpr uint32_t SentRepresentingEntryId = 0x0041;
inline constexpr uint32_t SenderEntryId = 0x0C19;
inline constexpr uint32_t ReplyRecipientEntries = 0x004F;
inline constexpr uint32_t ReplyRecipientNames = 0x0050;
inline constexpr uint32_t ConversationTopic = 0x0070;
inline constexpr uint32_t ConversationIndex = 0x0071;
inline constexpr uint32_t InternetMessageId = 0x1035;
inline constexpr uint32_t InternetReferences = 0x1039;
inline constexpr uint32_t InReplyToId = 0x1042;
inline constexpr uint32_t ReadReceiptSmtpAddress = 0x5D05;

// Bodies and code pages.
inline constexpr uint32_t PlainTextBody = 0x1000;
inline constexpr uint32_t RtfCompressed = 0x1009;
inline constexpr uint32_t HtmlBody = 0x1013;
inline constexpr uint32_t InternetCodePage = 0x3FDE;
inline constexpr uint32_t MessageCodePage = 0x3FFD;

// Common to every object (folders, messages, recipients, attachments).
inline constexpr uint32_t DisplayName = 0x3001;
inline constexpr uint32_t AddressType = 0x3002;
inline constexpr uint32_t EmailAddress = 0x3003;
inline constexpr uint32_t CreationTime = 0x3007;
inline constexpr uint32_t ModificationTime = 0x3008;
inline constexpr uint32_t RecipientSmtpAddress = 0x39FE;
inline constexpr uint32_t EntryId = 0x0FFF;

// The message store's and folders' own: which folder plays which part.
inline constexpr uint32_t ContainerClass = 0x3613;
inline constexpr uint32_t IpmSubtreeEntryId = 0x35E0;
inline constexpr uint32_t IpmOutboxEntryId = 0x35E2;
inline constexpr uint32_t IpmWastebasketEntryId = 0x35E3;
inline constexpr uint32_t IpmSentMailEntryId = 0x35E4;
inline constexpr uint32_t FinderEntryId = 0x35E7;
inline constexpr uint32_t IpmDraftsEntryId = 0x36D7;
inline constexpr uint32_t RecipientEntryId = 0x5FF7;

// Meetings: whether answers are asked for, whose copy it is, and each
// recipient's answer and standing.
inline constexpr uint32_t ResponseRequested = 0x0063;
inline constexpr uint32_t ReceivedByEmailAddress = 0x0076;
inline constexpr uint32_t ReceivedBySmtpAddress = 0x5D07;
inline constexpr uint32_t RecipientFlags = 0x5FFD;
inline constexpr uint32_t RecipientTrackStatus = 0x5FFF;

// Attachments.
inline constexpr uint32_t AttachSize = 0x0E20;
inline constexpr uint32_t AttachFilename = 0x3704;
inline constexpr uint32_t AttachLongFilename = 0x3707;
inline constexpr uint32_t AttachPathname = 0x3708;
inline constexpr uint32_t AttachLongPathname = 0x370D;
inline constexpr uint32_t AttachMimeTag = 0x370E;
inline constexpr uint32_t AttachContentId = 0x3712;
inline constexpr uint32_t TextAttachmentCharset = 0x371B;

// Contacts: fixed tags.
inline constexpr uint32_t Account = 0x3A00;
inline constexpr uint32_t CallbackTelephoneNumber = 0x3A02;
inline constexpr uint32_t Generation = 0x3A05;
inline constexpr uint32_t DisplayNamePrefix = 0x3A45;
inline constexpr uint32_t GivenName = 0x3A06;
inline constexpr uint32_t GovernmentIdNumber = 0x3A07;
inline constexpr uint32_t BusinessTelephoneNumber = 0x3A08;
inline constexpr uint32_t HomeTelephoneNumber = 0x3A09;
inline constexpr uint32_t OrganizationalIdNumber = 0x3A10;
inline constexpr uint32_t Surname = 0x3A11;
inline constexpr uint32_t OriginalDisplayName = 0x3A13;
inline constexpr uint32_t CompanyName = 0x3A16;
inline constexpr uint32_t Title = 0x3A17;
inline constexpr uint32_t DepartmentName = 0x3A18;
inline constexpr uint32_t OfficeLocation = 0x3A19;
inline constexpr uint32_t MobileTelephoneNumber = 0x3A1C;
inline constexpr uint32_t RadioTelephoneNumber = 0x3A1D;
inline constexpr uint32_t CarTelephoneNumber = 0x3A1E;
inline constexpr uint32_t OtherTelephoneNumber = 0x3A1F;
inline constexpr uint32_t PagerTelephoneNumber = 0x3A21;
inline constexpr uint32_t BusinessFaxNumber = 0x3A24;
inline constexpr uint32_t HomeFaxNumber = 0x3A25;
inline constexpr uint32_t TelexNumber = 0x3A2C;
inline constexpr uint32_t IsdnNumber = 0x3A2D;
inline constexpr uint32_t AssistantTelephoneNumber = 0x3A2E;
inline constexpr uint32_t Home2TelephoneNumber = 0x3A2F;
inline constexpr uint32_t Assistant = 0x3A30;
inline constexpr uint32_t WeddingAnniversary = 0x3A41;
inline constexpr uint32_t Birthday = 0x3A42;
inline constexpr uint32_t Hobbies = 0x3A43;
inline constexpr uint32_t MiddleName = 0x3A44;
inline constexpr uint32_t Profession = 0x3A46;
inline constexpr uint32_t SpouseName = 0x3A48;
inline constexpr uint32_t CustomerId = 0x3A4A;
inline constexpr uint32_t TtyTddPhoneNumber = 0x3A4B;
inline constexpr uint32_t ManagerName = 0x3A4E;
inline constexpr uint32_t Nickname = 0x3A4F;
inline constexpr uint32_t PersonalHomePage = 0x3A50;
inline constexpr uint32_t BusinessHomePage = 0x3A51;
inline constexpr uint32_t CompanyMainTelephoneNumber = 0x3A57;
inline constexpr uint32_t HomeAddressCity = 0x3A59;
inline constexpr uint32_t HomeAddressCountry = 0x3A5A;
inline constexpr uint32_t HomeAddressPostalCode = 0x3A5B;
inline constexpr uint32_t HomeAddressStateOrProvince = 0x3A5C;
inline constexpr uint32_t HomeAddressStreet = 0x3A5D;
inline constexpr uint32_t OtherAddressCity = 0x3A5F;
inline constexpr uint32_t OtherAddressCountry = 0x3A60;
inline constexpr uint32_t OtherAddressPostalCode = 0x3A61;
inline constexpr uint32_t OtherAddressStateOrProvince = 0x3A62;
inline constexpr uint32_t OtherAddressStreet = 0x3A63;
inline constexpr uint32_t HomeAddressPostOfficeBox = 0x3A5E;
inline constexpr uint32_t OtherAddressPostOfficeBox = 0x3A64;
inline constexpr uint32_t BusinessAddressCountry = 0x3A26;
inline constexpr uint32_t BusinessAddressCity = 0x3A27;
inline constexpr uint32_t BusinessAddressStateOrProvince = 0x3A28;
inline constexpr uint32_t BusinessAddressStreet = 0x3A29;
inline constexpr uint32_t BusinessAddressPostalCode = 0x3A2A;
inline constexpr uint32_t BusinessAddressPostOfficeBox = 0x3A2B;
inline constexpr uint32_t AttachmentContactPhoto = 0x7FFF;
inline constexpr uint32_t RecordKey = 0x0FF9;
inline constexpr uint32_t Language = 0x002F;

// Named properties of the address set (PSETID_Address, {00062004-0000-0000-C000-000000000046}).
inline constexpr uint32_t FileUnder = 0x8005;
inline constexpr uint32_t Email1Address = 0x8083;
inline constexpr uint32_t Email2Address = 0x8093;
inline constexpr uint32_t Email3Address = 0x80A3;
inline constexpr uint32_t Email1AddressType = 0x8082;
inline constexpr uint32_t Email2AddressType = 0x8092;
inline constexpr uint32_t Email3AddressType = 0x80A2;
inline constexpr uint32_t Email1OriginalDisplayName = 0x8084;
inline constexpr uint32_t Email2OriginalDisplayName = 0x8094;
inline constexpr uint32_t Email3OriginalDisplayName = 0x80A4;
inline constexpr uint32_t PostalAddressId = 0x8022;  // which address mail goes to: 1 home, 2 work, 3 other
inline constexpr uint32_t WorkAddressStreet = 0x8045;
inline constexpr uint32_t WorkAddressCity = 0x8046;
inline constexpr uint32_t WorkAddressState = 0x8047;
inline constexpr uint32_t WorkAddressPostalCode = 0x8048;
inline constexpr uint32_t WorkAddressCountry = 0x8049;
inline constexpr uint32_t WorkAddressPostOfficeBox = 0x804A;

// Named properties of the appointment set (PSETID_Appointment, {00062002-0000-0000-C000-000000000046}).
inline constexpr uint32_t AppointmentLocation = 0x8208;
inline constexpr uint32_t AppointmentStartWhole = 0x820D;
inline constexpr uint32_t AppointmentEndWhole = 0x820E;
inline constexpr uint32_t RecurrencePattern = 0x8232;
inline constexpr uint32_t AppointmentSequence = 0x8201;
inline constexpr uint32_t BusyStatus = 0x8205;
inline constexpr uint32_t AppointmentRecur = 0x8216;
inline constexpr uint32_t ExceptionReplaceTime = 0x8228;
inline constexpr uint32_t TimeZoneStruct = 0x8233;
inline constexpr uint32_t TimeZoneDescription = 0x8234;
inline constexpr uint32_t AppointmentSubType = 0x8215;
inline constexpr uint32_t ResponseStatus = 0x8218;
inline constexpr uint32_t TimeZoneDefinitionStartDisplay = 0x825E;
inline constexpr uint32_t TimeZoneDefinitionRecur = 0x8260;

// Named properties of the address set for distribution lists.
inline constexpr uint32_t DistributionListName = 0x8053;
inline constexpr uint32_t DistributionListOneOffMembers = 0x8054;
inline constexpr uint32_t DistributionListMembers = 0x8055;

// Named properties of the task set (PSETID_Task, {00062003-0000-0000-C000-000000000046}).
inline constexpr uint32_t TaskStatus = 0x8101;
inline constexpr uint32_t PercentComplete = 0x8102;
inline constexpr uint32_t TaskStartDate = 0x8104;
inline constexpr uint32_t TaskRecurrence = 0x8116;
inline constexpr uint32_t TaskIsRecurring = 0x8126;
inline constexpr uint32_t TaskDueDate = 0x8105;
inline constexpr uint32_t TaskDateCompleted = 0x810F;

// Named properties of the journal set (PSETID_Log, {0006200A-0000-0000-C000-000000000046}).
inline constexpr uint32_t LogType = 0x8700;
inline constexpr uint32_t LogStart = 0x8706;

// Named properties of the common set (PSETID_Common, {00062008-0000-0000-C000-000000000046}).
inline constexpr uint32_t ReminderDelta = 0x8501;
inline constexpr uint32_t ReminderSet = 0x8503;

}  // namespace tolvane::PropertyTag

namespace tolvane {

// Bits of MessageFlags the program tests.
inline constexpr uint32_t kMessageFlagUnsent = 0x08;
inline constexpr uint32_t kMessageFlagHasAttachments = 0x10;

// Named properties looked up by their property set and their name or number
// in it, rather than through libpff's own numbering: the set's GUID in its
// stored byte order, then the name (string-named) or the number (name null).
struct NamedProperty {
    unsigned char propertySet[16];
    uint32_t number;
    const char* name;
};

// The message's categories (PS_PUBLIC_STRINGS, {00020329-0000-0000-C000-000000000046}).
inline constexpr NamedProperty kKeywordsProperty = {
    {0x29, 0x03, 0x02, 0x00, 0x00, 0x00, 0x00, 0x00, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}, 0, "Keywords"};
// A meeting's identity across every copy of it (PSETID_Meeting,
// {6ED8DA90-450B-101B-98DA-00AA003F1305}, number 0x0003).
inline constexpr NamedProperty kGlobalObjectIdProperty = {
    {0x90, 0xDA, 0xD8, 0x6E, 0x0B, 0x45, 0x1B, 0x10, 0x98, 0xDA, 0x00, 0xAA, 0x00, 0x3F, 0x13, 0x05}, 0x0003, nullptr};

}  // namespace tolvane
