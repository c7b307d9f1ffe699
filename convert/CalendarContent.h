// One appointment as the calendar writer sees it, read from the mailbox:
// what an iCalendar event carries, independent of how it is written.
#pragma once

#include "convert/AppointmentRecurrence.h"
#include "convert/MailContent.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <optional>

namespace tolvane {

struct AppointmentContent {
    enum class Busy { Free, Tentative, Busy, OutOfOffice, WorkingElsewhere };
    enum class Role { Required, Optional, Resource };

    struct Attendee {
        MailAddress mailbox;
        Role role = Role::Required;
    };

    QString subject;
    QString location;
    QString description;                // the plain body
    std::optional<QDateTime> start;     // UTC
    std::optional<QDateTime> end;       // UTC
    bool allDay = false;
    std::optional<QDateTime> created;   // UTC
    std::optional<QDateTime> modified;  // UTC
    HeaderProperties::Sensitivity sensitivity = HeaderProperties::Sensitivity::None;
    std::optional<Busy> busy;
    QStringList categories;
    std::optional<int> reminderMinutes;  // before the start; set only when a reminder is on
    std::optional<MailAddress> organizer;
    QVector<Attendee> attendees;
    QByteArray globalObjectId;           // the meeting's identity across its copies; empty when none
    uint32_t identifier = 0;             // the item's identifier in the mailbox
    std::optional<AppointmentRecurrence> recurrence;  // set for a recurring series
    std::optional<TimeZoneRule> timeZone;             // the zone its local times are in
    // A changed occurrence of a series: the start the occurrence had in the
    // series (UTC), and the series' UID it belongs to.
    std::optional<QDateTime> replacedStart;
    QString seriesUid;
};

}  // namespace tolvane
