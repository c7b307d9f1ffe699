// iCalendar (RFC 5545) files of appointments, built and serialised with
// libical: one VCALENDAR per folder, one VEVENT per appointment.
#pragma once

#include "model/CalendarContent.h"

#include <QByteArray>
#include <vector>

namespace tolvane {

// Attachments up to this size go into the calendar itself (base64 grows
// them by a third); larger ones are written as files beside it.
inline constexpr qsizetype kInlineCalendarAttachmentLimit = 256 * 1024;

// What one folder's calendar file holds, or the calendar a meeting message
// carries (with the method that says what the message does).
struct CalendarItems {
    enum class Method { None, Request, Cancel, Reply };
    Method method = Method::None;
    std::vector<AppointmentContent> events;
    std::vector<TaskContent> tasks;
    std::vector<NoteContent> notes;  // notes and journal entries
};

// How many of each went into a calendar.
struct CalendarCounts {
    int events = 0;  // appointments without a start are left out
    int tasks = 0;
    int notes = 0;
    int total() const { return events + tasks + notes; }
};

// The calendar of `items` as iCalendar text (CRLF line ends, folded by
// libical): a VEVENT per appointment, a VTODO per task, a VJOURNAL per note
// or journal entry. Within the file no two of them share a UID, except a
// series and its changed occurrences: a further copy of an item gets its UID
// with "-" and its identifier appended (a count when that is taken too).
// What was written is counted into *counts when given.
QByteArray ComposeCalendar(const CalendarItems& items, CalendarCounts* counts = nullptr);

// The calendar a meeting message carries beside its text, and the method its
// part names ("REQUEST", "CANCEL", "REPLY").
struct MeetingCalendarText {
    QByteArray text;
    const char* method = "REQUEST";
};
MeetingCalendarText MeetingCalendarOf(const MeetingMessage& meeting);

// The UID of an event: the meeting's global identity in hexadecimal when it
// has one, else one derived from the item's identifier and creation time,
// the same for every conversion of the same mailbox.
QString EventUid(const AppointmentContent& event);

}  // namespace tolvane
