// Property tags and property-set GUIDs the writer and its users refer to by name.
#pragma once

#include "pstwriter/PropertyValue.h"

namespace tolvane::pstwriter::tags {

// Message envelope
inline constexpr uint32_t Importance = MakeTag(0x0017, PtLong);
inline constexpr uint32_t MessageClass = MakeTag(0x001A, PtUnicode);
inline constexpr uint32_t Priority = MakeTag(0x0026, PtLong);
inline constexpr uint32_t ReadReceiptRequested = MakeTag(0x0029, PtBoolean);
inline constexpr uint32_t Sensitivity = MakeTag(0x0036, PtLong);
inline constexpr uint32_t ReplyRecipientEntries = MakeTag(0x004F, PtBinary);
inline constexpr uint32_t ReplyRecipientNames = MakeTag(0x0050, PtUnicode);
inline constexpr uint32_t Subject = MakeTag(0x0037, PtUnicode);
inline constexpr uint32_t ClientSubmitTime = MakeTag(0x0039, PtSysTime);
inline constexpr uint32_t SentRepresentingSearchKey = MakeTag(0x003B, PtBinary);
inline constexpr uint32_t SentRepresentingEntryId = MakeTag(0x0041, PtBinary);
inline constexpr uint32_t SentRepresentingName = MakeTag(0x0042, PtUnicode);
inline constexpr uint32_t MessageToMe = MakeTag(0x0057, PtBoolean);
inline constexpr uint32_t MessageCcMe = MakeTag(0x0058, PtBoolean);
inline constexpr uint32_t SentRepresentingAddressType = MakeTag(0x0064, PtUnicode);
inline constexpr uint32_t SentRepresentingEmailAddress = MakeTag(0x0065, PtUnicode);
inline constexpr uint32_t ConversationTopic = MakeTag(0x0070, PtUnicode);
inline constexpr uint32_t ConversationIndex = MakeTag(0x0071, PtBinary);
inline constexpr uint32_t TransportMessageHeaders = MakeTag(0x007D, PtUnicode);
inline constexpr uint32_t SenderEntryId = MakeTag(0x0C19, PtBinary);
inline constexpr uint32_t SenderName = MakeTag(0x0C1A, PtUnicode);
inline constexpr uint32_t SenderSearchKey = MakeTag(0x0C1D, PtBinary);
inline constexpr uint32_t SenderAddressType = MakeTag(0x0C1E, PtUnicode);
inline constexpr uint32_t SenderEmailAddress = MakeTag(0x0C1F, PtUnicode);
inline constexpr uint32_t DisplayBcc = MakeTag(0x0E02, PtUnicode);
inline constexpr uint32_t DisplayCc = MakeTag(0x0E03, PtUnicode);
inline constexpr uint32_t DisplayTo = MakeTag(0x0E04, PtUnicode);
inline constexpr uint32_t MessageDeliveryTime = MakeTag(0x0E06, PtSysTime);
inline constexpr uint32_t MessageFlags = MakeTag(0x0E07, PtLong);
inline constexpr uint32_t MessageSize = MakeTag(0x0E08, PtLong);
inline constexpr uint32_t MessageStatus = MakeTag(0x0E17, PtLong);
inline constexpr uint32_t HasAttachments = MakeTag(0x0E1B, PtBoolean);
inline constexpr uint32_t Body = MakeTag(0x1000, PtUnicode);
inline constexpr uint32_t RtfCompressed = MakeTag(0x1009, PtBinary);
inline constexpr uint32_t Html = MakeTag(0x1013, PtBinary);
inline constexpr uint32_t InternetMessageId = MakeTag(0x1035, PtUnicode);
inline constexpr uint32_t InternetReferences = MakeTag(0x1039, PtUnicode);
inline constexpr uint32_t InReplyToId = MakeTag(0x1042, PtUnicode);
inline constexpr uint32_t CreationTime = MakeTag(0x3007, PtSysTime);
inline constexpr uint32_t LastModificationTime = MakeTag(0x3008, PtSysTime);
inline constexpr uint32_t SearchKey = MakeTag(0x300B, PtBinary);
inline constexpr uint32_t InternetCodepage = MakeTag(0x3FDE, PtLong);
inline constexpr uint32_t MessageCodepage = MakeTag(0x3FFD, PtLong);
inline constexpr uint32_t SenderSmtpAddress = MakeTag(0x5D01, PtUnicode);
inline constexpr uint32_t SentRepresentingSmtpAddress = MakeTag(0x5D02, PtUnicode);

// Recipients
inline constexpr uint32_t RecipientType = MakeTag(0x0C15, PtLong);
inline constexpr uint32_t Responsibility = MakeTag(0x0E0F, PtBoolean);
inline constexpr uint32_t RecordKey = MakeTag(0x0FF9, PtBinary);
inline constexpr uint32_t ObjectType = MakeTag(0x0FFE, PtLong);
inline constexpr uint32_t EntryId = MakeTag(0x0FFF, PtBinary);
inline constexpr uint32_t DisplayName = MakeTag(0x3001, PtUnicode);
inline constexpr uint32_t AddressType = MakeTag(0x3002, PtUnicode);
inline constexpr uint32_t EmailAddress = MakeTag(0x3003, PtUnicode);
inline constexpr uint32_t DisplayType = MakeTag(0x3900, PtLong);
inline constexpr uint32_t SmtpAddress = MakeTag(0x39FE, PtUnicode);
inline constexpr uint32_t RecipientEntryId = MakeTag(0x5FF7, PtBinary);
inline constexpr uint32_t TransmittableDisplayName = MakeTag(0x3A20, PtUnicode);
inline constexpr uint32_t SendRichInfo = MakeTag(0x3A40, PtBoolean);

// Attachments
inline constexpr uint32_t AttachSize = MakeTag(0x0E20, PtLong);
inline constexpr uint32_t AttachDataBinary = MakeTag(0x3701, PtBinary);
inline constexpr uint32_t AttachDataObject = MakeTag(0x3701, PtObject);
inline constexpr uint32_t AttachExtension = MakeTag(0x3703, PtUnicode);
inline constexpr uint32_t AttachFilename = MakeTag(0x3704, PtUnicode);
inline constexpr uint32_t AttachMethod = MakeTag(0x3705, PtLong);
inline constexpr uint32_t AttachLongFilename = MakeTag(0x3707, PtUnicode);
inline constexpr uint32_t AttachPathname = MakeTag(0x3708, PtUnicode);
inline constexpr uint32_t RenderingPosition = MakeTag(0x370B, PtLong);
inline constexpr uint32_t AttachLongPathname = MakeTag(0x370D, PtUnicode);
inline constexpr uint32_t AttachMimeTag = MakeTag(0x370E, PtUnicode);
inline constexpr uint32_t AttachContentId = MakeTag(0x3712, PtUnicode);
inline constexpr uint32_t AttachFlags = MakeTag(0x3714, PtLong);
inline constexpr uint32_t TextAttachmentCharset = MakeTag(0x371B, PtUnicode);
inline constexpr uint32_t AttachmentContactPhoto = MakeTag(0x7FFF, PtBoolean);

// Contacts
inline constexpr uint32_t GivenName = MakeTag(0x3A06, PtUnicode);
inline constexpr uint32_t Surname = MakeTag(0x3A11, PtUnicode);
inline constexpr uint32_t BusinessTelephone = MakeTag(0x3A08, PtUnicode);
inline constexpr uint32_t MobileTelephone = MakeTag(0x3A1C, PtUnicode);
inline constexpr uint32_t CompanyName = MakeTag(0x3A16, PtUnicode);
inline constexpr uint32_t MiddleName = MakeTag(0x3A44, PtUnicode);
inline constexpr uint32_t Generation = MakeTag(0x3A05, PtUnicode);
inline constexpr uint32_t DisplayNamePrefix = MakeTag(0x3A45, PtUnicode);
inline constexpr uint32_t BusinessAddressStreet = MakeTag(0x3A29, PtUnicode);
inline constexpr uint32_t BusinessAddressCity = MakeTag(0x3A27, PtUnicode);
inline constexpr uint32_t BusinessAddressPostalCode = MakeTag(0x3A2A, PtUnicode);
inline constexpr uint32_t BusinessAddressCountry = MakeTag(0x3A26, PtUnicode);
inline constexpr uint32_t HomeAddressStreet = MakeTag(0x3A5D, PtUnicode);
inline constexpr uint32_t HomeAddressCity = MakeTag(0x3A59, PtUnicode);
inline constexpr uint32_t HomeAddressPostOfficeBox = MakeTag(0x3A5E, PtUnicode);

// Folders and the store
inline constexpr uint32_t ContentCount = MakeTag(0x3602, PtLong);
inline constexpr uint32_t ContentUnreadCount = MakeTag(0x3603, PtLong);
inline constexpr uint32_t Subfolders = MakeTag(0x360A, PtBoolean);
inline constexpr uint32_t ContainerClass = MakeTag(0x3613, PtUnicode);
inline constexpr uint32_t ValidFolderMask = MakeTag(0x35DF, PtLong);
inline constexpr uint32_t IpmSubtreeEntryId = MakeTag(0x35E0, PtBinary);
inline constexpr uint32_t IpmWastebasketEntryId = MakeTag(0x35E3, PtBinary);
inline constexpr uint32_t FinderEntryId = MakeTag(0x35E7, PtBinary);
inline constexpr uint32_t IpmOutboxEntryId = MakeTag(0x35E2, PtBinary);
inline constexpr uint32_t IpmSentMailEntryId = MakeTag(0x35E4, PtBinary);
inline constexpr uint32_t IpmDraftsEntryId = MakeTag(0x36D7, PtBinary);
inline constexpr uint32_t PstPassword = MakeTag(0x67FF, PtLong);
inline constexpr uint32_t LtpRowId = MakeTag(0x67F2, PtLong);
inline constexpr uint32_t LtpRowVersion = MakeTag(0x67F3, PtLong);

// Message flags (0x0E07)
inline constexpr int32_t FlagRead = 0x01;
inline constexpr int32_t FlagUnmodified = 0x02;
inline constexpr int32_t FlagUnsent = 0x08;
inline constexpr int32_t FlagHasAttach = 0x10;
inline constexpr int32_t FlagFromMe = 0x20;

// Attach methods (0x3705)
inline constexpr int32_t AttachByValue = 1;
inline constexpr int32_t AttachByReference = 2;
inline constexpr int32_t AttachByRefOnly = 4;
inline constexpr int32_t AttachEmbeddedMessage = 5;

// Meetings: answers asked for (on the item), each recipient's answer and standing
inline constexpr uint32_t ResponseRequested = MakeTag(0x0063, PtBoolean);
inline constexpr uint32_t ReceivedBySmtpAddress = MakeTag(0x5D07, PtUnicode);
inline constexpr uint32_t RecipientFlags = MakeTag(0x5FFD, PtLong);
inline constexpr uint32_t RecipientTrackStatus = MakeTag(0x5FFF, PtLong);

// Recipient types (0x0C15)
inline constexpr int32_t RecipientTo = 1;
inline constexpr int32_t RecipientCc = 2;
inline constexpr int32_t RecipientBcc = 3;

}  // namespace tolvane::pstwriter::tags

namespace tolvane::pstwriter::propsets {

inline const Guid Address = ParseGuid("00062004-0000-0000-C000-000000000046");
inline const Guid Appointment = ParseGuid("00062002-0000-0000-C000-000000000046");
inline const Guid Task = ParseGuid("00062003-0000-0000-C000-000000000046");
inline const Guid Common = ParseGuid("00062008-0000-0000-C000-000000000046");
inline const Guid Log = ParseGuid("0006200A-0000-0000-C000-000000000046");
inline const Guid Meeting = ParseGuid("6ED8DA90-450B-101B-98DA-00AA003F1305");
inline const Guid PublicStrings = ParseGuid("00020329-0000-0000-C000-000000000046");
inline const Guid Mapi = ParseGuid("00020328-0000-0000-C000-000000000046");

}  // namespace tolvane::pstwriter::propsets
