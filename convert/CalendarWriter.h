// iCalendar (RFC 5545) files of appointments, built and serialised with
// libical: one VCALENDAR per folder, one VEVENT per appointment.
#pragma once

#include "convert/CalendarContent.h"

#include <QByteArray>
#include <vector>

namespace tolvane {

// The calendar of `events` as iCalendar text (CRLF line ends, folded by
// libical). Events without a start are left out; the count written goes to
// *written when given.
QByteArray ComposeCalendar(const std::vector<AppointmentContent>& events, int* written = nullptr);

// The UID of an event: the meeting's global identity in hexadecimal when it
// has one, else one derived from the item's identifier and creation time,
// the same for every conversion of the same mailbox.
QString EventUid(const AppointmentContent& event);

}  // namespace tolvane
