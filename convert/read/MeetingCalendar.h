// The calendar a meeting request, cancellation or response carries: the
// meeting read as an appointment, with the method that says what the message
// does, composed as iCalendar text for the message mapper to put beside the
// message's text.
#pragma once

#include "convert/MailContent.h"
#include "scan/PffHandles.h"

namespace tolvane {

// Sets `content`'s meeting calendar and method when `message` is a meeting
// request, cancellation or response that says when the meeting is; leaves
// other messages as they are. Reads `content.from`, so the sender goes first.
void AddMeetingCalendar(libpff_item_t* message, int fileCodePage, MessageContent& content);

}  // namespace tolvane
