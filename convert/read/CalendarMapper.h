// Maps the calendar's libpff items into what the calendar writer takes:
// appointments (with their attendees and attached files), tasks, and notes
// and journal entries. What cannot be read is left out or named in the
// content's `missing`; one bad property never costs the item.
#pragma once

#include "model/CalendarContent.h"
#include "scan/PffHandles.h"

#include <cstdint>

namespace tolvane {

// The appointment (or the meeting a scheduling message carries) without its
// attachments; `identifier` is the item's, for its UID.
[[nodiscard]] AppointmentContent ReadAppointmentContent(libpff_item_t* item, uint32_t identifier, int fileCodePage);

// The files and links attached to an appointment, read into memory, into
// `content`. Embedded items are not among them: the scan records each as an
// item of its own (a changed occurrence of a series as an appointment, a
// message as mail).
void ReadAppointmentAttachments(libpff_item_t* appointment, int fileCodePage, AppointmentContent& content);

[[nodiscard]] TaskContent ReadTaskContent(libpff_item_t* item, uint32_t identifier, int fileCodePage);

// A note, or with `journal` a journal entry.
[[nodiscard]] NoteContent ReadNoteContent(libpff_item_t* item, uint32_t identifier, int fileCodePage, bool journal);

}  // namespace tolvane
