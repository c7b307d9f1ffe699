// The properties every kind of item is read for in the same way (texts,
// times, days, categories, sensitivity, importance, the plain body as card
// or calendar text), and how a reading notes what it could not read. Shared
// by the message, calendar and contact mappers.
#pragma once

#include "model/MailContent.h"
#include "model/MissingParts.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

namespace tolvane {

// A string property through the file's name-to-id map, failures noted.
[[nodiscard]] std::optional<QString> MappedString(libpff_item_t* item, int set, uint32_t tag, int codePage,
                                                  ReadFailures* failures = nullptr);

// A time property; nullopt when absent, zero or beyond what a date holds.
[[nodiscard]] std::optional<QDateTime> TimeOf(libpff_item_t* item, uint32_t tag, ReadFailures* failures = nullptr);
// A task's day: kept as midnight of the day itself, written as UTC.
[[nodiscard]] std::optional<QDate> DayOf(libpff_item_t* item, uint32_t tag, ReadFailures* failures = nullptr);

// The categories (the "Keywords" named property), blank ones left out.
[[nodiscard]] QStringList Categories(libpff_item_t* item, int codePage, ReadFailures* failures = nullptr);

// The plain body as calendar and card text: one kind of line break ("\n"),
// no trailing white space; null when blank.
[[nodiscard]] QString PlainText(libpff_item_t* item, int fileCodePage, ReadFailures* failures = nullptr);

// nullopt when the item does not say.
[[nodiscard]] std::optional<HeaderProperties::Sensitivity> SensitivityOf(libpff_item_t* item,
                                                                         ReadFailures* failures = nullptr);
[[nodiscard]] std::optional<HeaderProperties::Importance> ImportanceOf(libpff_item_t* item,
                                                                       ReadFailures* failures = nullptr);

// Adds `what` to `missing` once when any read of it failed.
void NoteMissing(MissingParts& missing, const ReadFailures& failures, const MissingEntry& what);
inline void NoteMissing(MissingParts& missing, const ReadFailures& failures, MissingPart what)
{
    NoteMissing(missing, failures, MissingEntry(what));
}

}  // namespace tolvane
