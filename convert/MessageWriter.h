// The message writer: the contact pass (one vCard per contact record), the
// mail pass (one EML per top-level mail record) and the calendar pass (one
// iCalendar file per folder of appointments), run by the conversion worker.
// Each writes through its format's sink and hands every item's outcome to
// ItemOutcomes (MessageWriter.cpp, CardPasses.cpp, CalendarPass.cpp).
#pragma once

#include "scan/ItemStore.h"

namespace tolvane {

class ConversionRun;
class MailFeed;

// Makes sure the writer can compose messages (GMime initialised). Nothing to
// register on this platform.
void MakeWriterAvailable();

// Each returns false when the worker was abandoned at a checkpoint, or
// stopped by a stop request (the run's summary then says it was interrupted).
[[nodiscard]] bool WriteContactItems(const RecordList<ContactRecord>& contacts, ConversionRun& run);
// The mail pass takes its messages from `mail` until the feed ends; embedded
// messages are not in it, they travel inside their parents' files.
[[nodiscard]] bool WriteMailFiles(MailFeed& mail, ConversionRun& run);
// The calendar pass, after the mail pass: one iCalendar file per folder that
// holds appointments, tasks, notes or journal entries, named after the
// folder, in its directory.
[[nodiscard]] bool WriteCalendarFiles(const RecordList<AppointmentRecord>& appointments,
                                      const RecordList<OtherItemEntry>& others, ConversionRun& run);
// One vCard (kind group) per distribution list, beside the contacts; a member
// that is one of `contacts` is named by its vCard's UID.
[[nodiscard]] bool WriteDistributionLists(const RecordList<OtherItemEntry>& others,
                                          const RecordList<ContactRecord>& contacts, ConversionRun& run);

}  // namespace tolvane
