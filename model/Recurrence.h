// A recurring item's pattern and its time zone, decoded from what the mailbox
// stores into plain values. Every date and time here is local to the item's
// own time zone, as the mailbox keeps them.
#pragma once

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

}  // namespace tolvane
