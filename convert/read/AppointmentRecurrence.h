// A recurring appointment's pattern and its time zone as the mailbox stores
// them (the recurrence blob and the time-zone structure of an appointment),
// decoded into plain values. Every date and time here is local to the
// appointment's own time zone, as the blob keeps them.
#pragma once

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QVector>

#include <optional>

namespace tolvane {

struct AppointmentRecurrence {
    enum class Frequency { Daily, Weekly, Monthly, Yearly };
    enum class End { Never, AfterCount, ByDate };

    Frequency frequency = Frequency::Weekly;
    int interval = 1;
    QVector<int> weekdays;      // 0 = Sunday ... 6 = Saturday; empty when the pattern names none
    int monthDay = 0;           // 1-31, -1 for the month's last day; 0 when not by day of month
    int setPosition = 0;        // 1-4, -1 for the last (n-th weekday patterns); 0 when none
    int month = 0;              // 1-12 for yearly patterns
    End end = End::Never;
    int count = 0;              // AfterCount
    QDate until;                // ByDate: the last day an occurrence may start
    int firstDayOfWeek = 0;     // 0 = Sunday
    QDateTime start;            // local date and time of the first occurrence
    int durationMinutes = 0;
    QVector<QDate> deletedDates;   // occurrences removed (and not replaced by a changed one)
    QVector<QDate> modifiedDates;  // occurrences changed; their own items say how
};

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

// A time zone as a fixed rule: UTC = local + bias, with a daylight period
// between two yearly transitions (absent when the zone has none).
struct TimeZoneRule {
    struct Transition {
        int month = 0;       // 1-12
        int weekday = 0;     // 0 = Sunday
        int week = 0;        // 1-4, 5 for the month's last such weekday
        int hour = 0;
        int minute = 0;
    };
    QString name;                 // as the appointment describes it (a display name, mostly)
    QString keyName;              // the zone's Windows key name, when the item keeps its definition
    int biasMinutes = 0;          // standard time: UTC = local + bias + standardBias
    int standardBiasMinutes = 0;
    int daylightBiasMinutes = 0;
    std::optional<Transition> toStandard;
    std::optional<Transition> toDaylight;
};

// The time-zone structure of an appointment (bias, standard and daylight
// biases and dates); nullopt when malformed.
std::optional<TimeZoneRule> ParseTimeZoneStruct(const QByteArray& data, const QString& name);

// The Windows key name ("W. Europe Standard Time") a stored time-zone
// definition names; nullopt when it names none or is not one this reads.
std::optional<QString> ParseTimeZoneDefinitionKeyName(const QByteArray& data);

}  // namespace tolvane
