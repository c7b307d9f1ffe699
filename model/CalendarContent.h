// One appointment as the calendar writer sees it, read from the mailbox:
// what an iCalendar event carries, independent of how it is written.
#pragma once

#include "model/Recurrence.h"
#include "model/MailContent.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <optional>

namespace tolvane {

// A day the mailbox keeps as the local midnight that starts it, written in
// UTC (all-day events, birthdays): without the zone it was written in, the
// day is the one that holds that instant twelve hours later, right for every
// zone within twelve hours of UTC.
inline QDate DayOfStoredMidnight(const QDateTime& time)
{
    return time.toUTC().addSecs(12 * 3600).date();
}

// A file attached to an appointment. The calendar carries it inline when it
// is small; a larger one is written beside the calendar and `uri` points at it.
struct CalendarAttachment {
    QString fileName;     // may be empty
    QString contentType;  // as stored; empty when unknown
    QByteArray data;      // the bytes, while they are to go inline
    QString uri;          // where the file is instead: a reference relative to the calendar, or a link
};

struct AppointmentContent {
    enum class Busy { Free, Tentative, Busy, OutOfOffice, WorkingElsewhere };
    enum class Role { Required, Optional, Resource };

    enum class Answer { None, Accepted, Declined, Tentative };  // None: not (yet) answered

    struct Attendee {
        Mailbox mailbox;
        Role role = Role::Required;
        Answer answer = Answer::None;
        std::optional<bool> rsvp;  // whether an answer is asked of it; unset when the item does not say
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
    std::optional<Mailbox> organizer;
    QVector<Attendee> attendees;
    QByteArray globalObjectId;           // the meeting's identity across its copies; empty when none
    uint32_t identifier = 0;             // the item's identifier in the mailbox
    std::optional<AppointmentRecurrence> recurrence;  // set for a recurring series
    // A recurrence the mailbox holds but that cannot be a series (a field out
    // of range): why, and the stored pattern in hexadecimal. The event is
    // written once, with both as X- properties, and counted incomplete.
    QString invalidRecurrence;
    QByteArray invalidRecurrenceBlob;
    std::optional<TimeZoneRule> timeZone;             // the zone its local times are in
    // A changed occurrence of a series: the start the occurrence had in the
    // series (UTC), the series' UID it belongs to, and the series' item
    // identifier, which tells copies of one series apart.
    std::optional<QDateTime> replacedStart;
    QString seriesUid;
    uint32_t seriesIdentifier = 0;
    bool cancelled = false;  // a cancellation of the meeting
    std::optional<int> sequence;  // the meeting's revision
    QVector<CalendarAttachment> attachments;
    // What of the appointment could not be read (its attachments): the event
    // is written without it and the conversion says so.
    MissingParts missing;
};

// A task, for a VTODO.
struct TaskContent {
    enum class Status { NotStarted, InProgress, Completed, Waiting, Deferred };
    QString subject;
    QString description;
    std::optional<QDate> start;           // the day work is to begin
    std::optional<QDate> due;
    std::optional<QDateTime> completed;   // UTC
    std::optional<int> percentComplete;   // 0-100
    std::optional<Status> status;
    std::optional<HeaderProperties::Importance> importance;
    HeaderProperties::Sensitivity sensitivity = HeaderProperties::Sensitivity::None;
    QStringList categories;
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
    uint32_t identifier = 0;
    std::optional<AppointmentRecurrence> recurrence;  // a task that comes back: its days, from `start` on
    // What could not be read; the item is written with the rest and says so.
    MissingParts missing;
};

// A note or a journal entry, for a VJOURNAL.
struct NoteContent {
    bool journal = false;                 // a journal entry (with its own times), else a note
    QString subject;
    QString text;
    QString journalType;                  // the journal entry's kind ("Phone call", ...)
    std::optional<QDateTime> start;       // UTC; a journal entry's start
    std::optional<QDateTime> created;
    std::optional<QDateTime> modified;
    QStringList categories;
    uint32_t identifier = 0;
    // What could not be read; the item is written with the rest and says so.
    MissingParts missing;
};

// A distribution list, for a vCard of kind group.
struct DistributionListContent {
    struct Member {
        Mailbox mailbox;                        // its name and address, as the list keeps them
        std::optional<uint32_t> contactIdentifier;  // set when it is a contact of the same mailbox
        QString contactUid;                         // that contact's UID, once the writer knows it
    };
    QString name;
    QVector<Member> members;
    // Members with neither an address nor a contact of the mailbox: a card
    // can only name a member by one of those, so these are left out, named.
    QStringList membersLeftOut;
    QString notes;
    uint32_t identifier = 0;
    QString uid;  // the card's UID, made as a contact's is
};

// What a meeting message does with the meeting it speaks of, and the meeting
// read as an appointment (for a response: the sender as its one attendee).
struct MeetingMessage {
    enum class Kind { Request, Cancel, Reply };
    Kind kind = Kind::Request;
    AppointmentContent event;
};

}  // namespace tolvane
