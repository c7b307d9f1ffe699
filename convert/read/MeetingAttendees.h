// A meeting's attendees as its recipient table keeps them: who they are, the
// part each plays (the recipient type: To required, Cc optional, Bcc a
// resource), the answer each gave as far as this copy of the meeting knows
// it, and whether answers are asked for.
#pragma once

#include "model/CalendarContent.h"

#include <libpff.h>

#include <QVector>

namespace tolvane {

// The attendees of `item` that have an address to write. A recipient's own
// tracked answer wins; the mailbox owner's answer to the meeting (kept on the
// item itself) goes to the attendee the item was received by, and "organised"
// to the organizer's own row.
[[nodiscard]] QVector<AppointmentContent::Attendee> ReadMeetingAttendees(libpff_item_t* item, int codePage);

}  // namespace tolvane
