// Reads a recurring item's pattern and its time zone from the forms the
// mailbox stores them in (the recurrence blob and the time-zone structures of
// an appointment) into the model's values (model/Recurrence.h).
#pragma once

#include "model/Recurrence.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tolvane {

// The pattern of a recurrence blob; nullopt when it is not one this reads
// (a calendar other than the Gregorian, a truncated or unknown blob) or when
// a field lies outside what a pattern can hold (an interval, a day of the
// month, a count or an end date no series can have). For the latter,
// `invalid` (when given) says which field and why; a series built from such a
// field would be another series, or one without end.
std::optional<AppointmentRecurrence> ParseAppointmentRecurrence(const QByteArray& blob, QString* invalid = nullptr);

// The bare pattern a recurring task keeps: days only, `start` at the first
// day's midnight and no duration.
std::optional<AppointmentRecurrence> ParseRecurrencePattern(const QByteArray& blob, QString* invalid = nullptr);

// The time-zone structure of an appointment (bias, standard and daylight
// biases and dates); nullopt when malformed.
std::optional<TimeZoneRule> ParseTimeZoneStruct(const QByteArray& data, const QString& name);

// The Windows key name ("W. Europe Standard Time") a stored time-zone
// definition names; nullopt when it names none or is not one this reads.
std::optional<QString> ParseTimeZoneDefinitionKeyName(const QByteArray& data);

}  // namespace tolvane
