// Contact and mail passes: what gets written where, progress, and counting
// every save that failed instead of hiding it.
#include "convert/MessageWriter.h"

#include "convert/CalendarWriter.h"
#include "convert/MailboxReader.h"
#include "convert/MemoryHeadroom.h"
#include "convert/MessagePreparer.h"
#include "convert/MimeComposer.h"
#include "convert/NewFileWriter.h"
#include "convert/OutputNaming.h"
#include "convert/OutputTree.h"
#include "convert/VCardWriter.h"
#include "scan/TimeText.h"
#include "scan/WorkerGate.h"

#include <algorithm>
#include <map>
#include <vector>

namespace tolvane {

namespace {

constexpr int kReportedFailures = 5;

void NoteFailure(WriterContext& context, const QString& name, const QString& reason)
{
    const QString line = QStringLiteral("%1: %2").arg(name, reason);
    if (context.summary->firstFailures.size() < kReportedFailures)
        context.summary->firstFailures << line;
    context.sink->ReportProblem(QStringLiteral("not saved: ") + line);
}

void NoteIncomplete(WriterContext& context, const QString& name, const QStringList& missing)
{
    const QString line = QStringLiteral("%1: missing %2").arg(name, missing.join(QStringLiteral("; ")));
    if (context.summary->firstIncomplete.size() < kReportedFailures)
        context.summary->firstIncomplete << line;
    context.sink->ReportProblem(QStringLiteral("saved incomplete: ") + line);
}

// Before each item: the gate (pause, abandon, test hooks), then a stop request.
bool PassCheckpoint(WriterContext& context)
{
    if (context.gate != nullptr && !context.gate->Checkpoint())
        return false;
    if (context.stopRequested != nullptr && context.stopRequested->load()) {
        context.summary->interrupted = true;
        return false;
    }
    return true;
}

// A new file in the record's folder directory, made by this run when missing
// (a folder deeper than the tree shows). A directory removed or replaced
// meanwhile is never re-created or followed: the save fails instead.
// The content comes as bytes or as a writer that streams it into the file.
NewFileResult SaveNewFile(WriterContext& context, const QString& folderKey, const NameForAttempt& nameForAttempt,
                          const ContentWriter& content)
{
    if (context.output == nullptr) {
        NewFileResult result;
        result.reason = QStringLiteral("no output folder was made");
        return result;
    }
    return context.output->CreateFile(folderKey, nameForAttempt, content);
}

NewFileResult SaveNewFile(WriterContext& context, const QString& folderKey, const NameForAttempt& nameForAttempt,
                          const QByteArray& content)
{
    return SaveNewFile(context, folderKey, nameForAttempt, [&content](int fd, QString* reason) {
        return WriteAllTo(fd, content.constData(), content.size(), reason);
    });
}

}  // namespace

void MakeWriterAvailable()
{
    EnsureGMimeReady();
}

bool WriteContactItems(const RecordList<ContactRecord>& contacts, WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    int progress = 0;
    for (const auto& contact : contacts) {
        if (!PassCheckpoint(context))
            return false;
        context.sink->SetProgress(progress);
        const QStringList emails =
            context.reader ? context.reader->ReadContactEmails(contact->location) : QStringList();
        const QByteArray card = ComposeVCard(*contact, emails);
        const QString nameText = ContactNameText(*contact);
        const NewFileResult result = SaveNewFile(
            context, contact->folderKey,
            [&](int attempt) { return FileNameFor(nameText, QString(), QStringLiteral(".vcf"), attempt); }, card);
        const bool saved = result.saved;
        const QString& reason = result.reason;
        if (saved) {
            ++summary.contactsSaved;
        } else {
            ++summary.contactsFailed;
            NoteFailure(context, nameText + QLatin1String(".vcf"), reason);
        }
        if (progress == 100)
            progress = 0;
        ++progress;
    }
    context.sink->SetProgress(0);
    return true;
}

bool WriteCalendarFiles(const RecordList<AppointmentRecord>& appointments, WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    // One calendar per folder, in the order the folders first appear.
    std::vector<QString> folderKeys;
    std::map<QString, std::vector<const AppointmentRecord*>> byFolder;
    for (const auto& record : appointments) {
        auto& list = byFolder[record->folderKey];
        if (list.empty())
            folderKeys.push_back(record->folderKey);
        list.push_back(record.get());
    }
    for (const QString& folderKey : folderKeys) {
        const std::vector<const AppointmentRecord*>& records = byFolder[folderKey];
        std::vector<AppointmentContent> events;
        QString folderName;
        int unreadable = 0;
        for (const AppointmentRecord* record : records) {
            if (!PassCheckpoint(context))
                return false;
            folderName = record->folderName;
            if (context.reader == nullptr) {
                // What the scan kept: the times and the place.
                AppointmentContent event;
                event.identifier = record->itemLocation.itemIdentifier;
                event.location = record->location;
                if (record->startTime)
                    event.start = FiletimeToDateTime(record->startTime->ticks);
                if (record->endTime)
                    event.end = FiletimeToDateTime(record->endTime->ticks);
                events.push_back(std::move(event));
                continue;
            }
            AppointmentRead read = context.reader->ReadAppointment(record->itemLocation);
            if (!read.content) {
                ++unreadable;
                NoteFailure(context, QStringLiteral("appointment %1 of %2").arg(record->number).arg(folderKey),
                            read.failure);
                continue;
            }
            events.push_back(std::move(*read.content));
        }
        // A changed occurrence of a series holds only what changed: the rest,
        // its title and place among them, comes from the series.
        for (AppointmentContent& event : events) {
            for (const AppointmentRecord* record : records) {
                if (record->itemLocation.itemIdentifier != event.identifier || !record->itemLocation.isEmbedded())
                    continue;
                const auto series = std::find_if(events.begin(), events.end(), [&](const AppointmentContent& other) {
                    return other.identifier == record->itemLocation.topLevelIdentifier;
                });
                if (series == events.end())
                    break;
                if (event.subject.isEmpty())
                    event.subject = series->subject;
                if (event.location.isEmpty())
                    event.location = series->location;
                if (series->recurrence) {
                    event.seriesUid = EventUid(*series);
                    if (!event.timeZone)
                        event.timeZone = series->timeZone;
                }
                break;
            }
        }
        int written = 0;
        const QByteArray calendar = ComposeCalendar(events, &written);
        // Appointments without a start have no place in a calendar.
        const int withoutStart = static_cast<int>(events.size()) - written;
        summary.eventsFailed += unreadable + withoutStart;
        if (written == 0)
            continue;
        const QString nameText = folderName.isEmpty() ? QStringLiteral("Calendar") : folderName;
        const NewFileResult result = SaveNewFile(
            context, folderKey, [&](int attempt) { return FileNameFor(nameText, QString(), QStringLiteral(".ics"), attempt); },
            calendar);
        if (result.saved) {
            ++summary.calendarFilesSaved;
            summary.eventsSaved += written;
        } else {
            summary.eventsFailed += written;
            NoteFailure(context, nameText + QLatin1String(".ics"), result.reason);
        }
    }
    return true;
}

bool WriteMailFiles(const RecordList<MailRecord>& mail, WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    // Embedded messages travel inside their parents' files.
    std::vector<const MailRecord*> topLevel;
    topLevel.reserve(mail.size());
    for (const auto& record : mail) {
        if (!record->location.isEmbedded())
            topLevel.push_back(record.get());
    }
    std::vector<MailboxReader*> readers{context.reader};
    readers.insert(readers.end(), context.moreReaders.begin(), context.moreReaders.end());
    MessagePreparer preparer(topLevel, readers, readers.size() * 4 + 4);
    ConversionRandom random;
    int progress = 0;
    for (std::size_t index = 0; index < topLevel.size(); ++index) {
        const MailRecord& record = *topLevel[index];
        if (!PassCheckpoint(context))
            return false;
        ++summary.mailTotal;
        context.sink->SetProgress(progress);

        PreparedMessage prepared = preparer.Take(index);

        const QString number = QString::number(random.Next());
        const QString nameText = MailNameText(record.subject);
        const QString fileName = FileNameFor(nameText, number, QStringLiteral(".eml"));
        const auto name = [&](int attempt) { return FileNameFor(nameText, number, QStringLiteral(".eml"), attempt); };
        NewFileResult result;
        if (!prepared.failure.isEmpty()) {
            result.reason = prepared.failure;
            summary.memoryShort = summary.memoryShort || prepared.failedForMemory;
        } else if (!HasMemoryHeadroom(prepared.streamed ? ComposeFootprint(*prepared.streamed) : kWriteHeadroom)) {
            result.reason = QStringLiteral("not enough memory to write the message");
            summary.memoryShort = true;
        } else if (prepared.streamed) {
            result = SaveNewFile(context, record.folderKey, name, [&](int fd, QString* why) {
                const auto message = ComposeMessage(*prepared.streamed);
                const bool written = WriteMessageToDescriptor(message.get(), fd, why);
                // Whatever the writer says, a file holds an attachment only
                // when every byte of it was read.
                for (const auto& source : prepared.sources) {
                    if (!source->readWhole()) {
                        const QString failure = source->failure();
                        *why = QStringLiteral("an attachment could not be read: ")
                               + (failure.isEmpty() ? QStringLiteral("its data ended early") : failure);
                        return false;
                    }
                }
                return written;
            });
        } else {
            result = SaveNewFile(context, record.folderKey, name, prepared.bytes);
        }
        const bool saved = result.saved;
        const QString& reason = result.reason;
        if (saved && prepared.missing.isEmpty()) {
            ++summary.mailSaved;
            summary.embeddedCarried += prepared.embeddedCarried;
        } else if (saved) {
            ++summary.mailIncomplete;
            summary.embeddedCarried += prepared.embeddedCarried;
            NoteIncomplete(context, fileName, prepared.missing);
        } else {
            ++summary.mailFailed;
            NoteFailure(context, fileName, reason);
        }
        ++progress;
        if (progress == 100) {
            progress = 0;
            context.sink->SetProgress(0);
        }
    }
    context.sink->SetProgress(0);
    return true;
}

}  // namespace tolvane
