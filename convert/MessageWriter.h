// The message writer: the contact pass (one vCard per contact record), the
// mail pass (one EML per top-level mail record) and the calendar pass (one
// iCalendar file per folder of appointments), run by the conversion worker.
// Each writes through its format's sink and hands every item's outcome to
// ItemOutcomes (MessageWriter.cpp, CardPasses.cpp, CalendarPass.cpp).
#pragma once

#include "convert/ConversionDriver.h"
#include "convert/output/MailFormats.h"
#include "scan/ItemStore.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <vector>

namespace tolvane {

class ConversionProgress;
class FolderPaths;
class MailFeed;
class MailFolderPlan;
class MailboxReader;
class ManifestWriter;
class OutputTree;
class ResumePlan;
class WorkerGate;

struct WriterContext {
    // The run's output folder; every file is created through it. Null when no
    // folder was made: every save then fails.
    OutputTree* output = nullptr;
    // May be closed: records are then written from their fields. The contact
    // pass reads through it; the mail pass hands it to its first worker.
    MailboxReader* reader = nullptr;
    // More handles on the same mailbox, one for each further worker of the
    // mail pass. Without a reader, the same number of workers compose from
    // the records.
    std::vector<MailboxReader*> moreReaders;
    ConversionSink* sink = nullptr;
    ConversionProgress* progress = nullptr;  // optional: told of every item each pass takes on
    WorkerGate* gate = nullptr;
    const std::atomic<bool>* stopRequested = nullptr;  // see ConversionRequest
    ConversionSummary* summary = nullptr;
    OutputFormat format = OutputFormat::Eml;  // how mail is written; the other items are the same in every format
    ManifestWriter* manifest = nullptr;       // optional: every item written or not goes into it
    const FolderPaths* folders = nullptr;     // optional: folder keys as the names a user sees
    // The folders the run writes and those on the way down to them, in the
    // tree's order: the formats that show every folder, mail or not, need them.
    QStringList folderKeys;
    // Optional: which folders are mail folders in the formats of a mail
    // client's folders, and their names there.
    const MailFolderPlan* mailFolders = nullptr;
    // What the mailbox is called where the output names it (its file's name
    // without extension): the mbox tree's folder for it.
    QString mailboxName;
    // Optional: a resumed run's plan; the mail it keeps is neither read nor written.
    const ResumePlan* resume = nullptr;
};

// Makes sure the writer can compose messages (GMime initialised). Nothing to
// register on this platform.
void MakeWriterAvailable();

// Both return false when the worker was abandoned at a checkpoint, or stopped
// by a stop request (summary->interrupted is then set).
[[nodiscard]] bool WriteContactItems(const RecordList<ContactRecord>& contacts, WriterContext& context);
// The mail pass takes its messages from `mail` until the feed ends; embedded
// messages are not in it, they travel inside their parents' files.
[[nodiscard]] bool WriteMailFiles(MailFeed& mail, WriterContext& context);
// The calendar pass, after the mail pass: one iCalendar file per folder that
// holds appointments, tasks, notes or journal entries, named after the
// folder, in its directory.
[[nodiscard]] bool WriteCalendarFiles(const RecordList<AppointmentRecord>& appointments,
                                      const RecordList<OtherItemEntry>& others, WriterContext& context);
// One vCard (kind group) per distribution list, beside the contacts; a member
// that is one of `contacts` is named by its vCard's UID.
[[nodiscard]] bool WriteDistributionLists(const RecordList<OtherItemEntry>& others,
                                          const RecordList<ContactRecord>& contacts, WriterContext& context);

}  // namespace tolvane
