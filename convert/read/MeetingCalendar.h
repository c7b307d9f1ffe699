// The meeting a meeting request, cancellation or response carries: read as
// an appointment, with what the message does with it. The message writer
// composes it as the calendar beside the message's text.
#pragma once

#include "model/MailContent.h"
#include "scan/PffHandles.h"

namespace tolvane {

// Sets `content`'s meeting when `message` is a meeting
// request, cancellation or response that says when the meeting is; leaves
// other messages as they are. Reads `content.from`, so the sender goes first.
void AddMeetingCalendar(libpff_item_t* message, int fileCodePage, MessageContent& content);

}  // namespace tolvane
