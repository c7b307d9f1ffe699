// The one place where a record's values become the texts users and scripts
// see: the item list's cells, the preview's labels and pages, and the fields
// of `tolvane-cli scan --json`. The words and forms are the program's own and
// long established ("None" for a missing time, "Unknown" for a missing
// sender, one space for a missing size or flag, the 21-character UTC time).
#pragma once

#include "model/ItemRecords.h"

#include <QString>

#include <cstdint>
#include <optional>

namespace tolvane {

// The message-flag word; " " when the flags are missing.
QString FlagWord(std::optional<uint32_t> flags);
// "Non Urgent", "Normal", "Urgent", else "None".
QString PriorityWord(std::optional<int32_t> priority);
// "Low", "Normal", "High", else " ".
QString ImportanceWord(std::optional<int32_t> importance);
// "None", "Personal", "Private", "Confidential", else "None".
QString SensitivityWord(std::optional<int32_t> sensitivity);
// "<size>  Bytes", or " " when missing.
QString SizeText(std::optional<int32_t> size);
// The 21-character time text ("Mar 05, 2021 14:07:09", UTC); nullopt when the
// time is missing or lies beyond year 9999.
std::optional<QString> TimeText(std::optional<FileTime> time);

namespace RecordText {

// Mail. A text of exactly one space counts as no value: it shows as null.
QString SenderName(const MailRecord& record);     // "Unknown" when missing
QString SenderAddress(const MailRecord& record);  // "Unknown" when missing
QString Recipients(const MailRecord& record);     // each name followed by " ;"
QString DeliveryTime(const MailRecord& record);   // "None" when missing
QString CreationTime(const MailRecord& record);
QString ModificationTime(const MailRecord& record);
QString Size(const MailRecord& record);
QString Flag(const MailRecord& record);
QString Priority(const MailRecord& record);
QString Sensitivity(const MailRecord& record);
QString Importance(const MailRecord& record);
QString Attachments(const MailRecord& record);    // each path followed by " ;"

// Appointments.
QString StartTime(const AppointmentRecord& record);  // empty text when missing
QString EndTime(const AppointmentRecord& record);
QString Location(const AppointmentRecord& record);   // " " when missing or empty
QString RecurrencePattern(const AppointmentRecord& record);
// The subject is never shown: the list and `scan --json` show this word instead.
QString SubjectPlaceholder(const AppointmentRecord& record);

// Numeric codes as `scan --json` prints them.
inline int KindCode(ItemKind kind) { return static_cast<int>(kind); }
inline int BodyKindCode(BodyKind kind) { return static_cast<int>(kind); }

}  // namespace RecordText

}  // namespace tolvane
