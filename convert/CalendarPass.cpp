// The calendar pass: one iCalendar file per folder of appointments, tasks,
// notes and journal entries, each item read again, with the attachments too
// large for the calendar in files beside it.
#include "convert/MessageWriter.h"

#include "convert/ConversionRun.h"
#include "convert/WriterPass.h"
#include "convert/compose/CalendarWriter.h"
#include "convert/output/FileSinks.h"
#include "convert/output/OutputNaming.h"
#include "convert/read/MailboxReader.h"
#include "scan/TimeText.h"

#include <QFileInfo>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace tolvane {

namespace {

// One folder's appointments, tasks, notes and journal entries, read again.
struct FolderCalendar {
    QString folderName;
    std::vector<const AppointmentRecord*> appointments;
    std::vector<const OtherItemEntry*> others;
    ItemSource source = ItemSource::Live;
};

// The name text of a folder's calendar file.
QString CalendarNameText(const FolderCalendar& folder)
{
    return folder.folderName.isEmpty() ? QStringLiteral("Calendar") : folder.folderName;
}

AppointmentContent FromRecord(const AppointmentRecord& record)
{
    // What the scan kept: the times and the place.
    AppointmentContent event;
    event.identifier = record.itemLocation.itemIdentifier;
    event.location = record.location;
    if (record.startTime)
        event.start = FiletimeToDateTime(record.startTime->ticks);
    if (record.endTime)
        event.end = FiletimeToDateTime(record.endTime->ticks);
    return event;
}

// A changed occurrence of a series holds only what changed: the rest, its
// title and place among them, comes from the series, and it belongs to the
// series' UID. `records[i]` is the record `events[i]` was read from: the
// occurrences of two copies of a series may have the same identifier, each
// inside its own copy.
void TieOccurrencesToTheirSeries(std::vector<AppointmentContent>& events,
                                 const std::vector<const AppointmentRecord*>& records)
{
    for (std::size_t index = 0; index < events.size(); ++index) {
        const ItemLocation& location = records[index]->itemLocation;
        if (!location.isEmbedded())
            continue;
        std::size_t seriesIndex = 0;
        while (seriesIndex < events.size()
               && (records[seriesIndex]->itemLocation.isEmbedded()
                   || events[seriesIndex].identifier != location.topLevelIdentifier))
            ++seriesIndex;
        if (seriesIndex == events.size())
            continue;
        AppointmentContent& event = events[index];
        const AppointmentContent& series = events[seriesIndex];
        if (event.subject.isEmpty())
            event.subject = series.subject;
        if (event.location.isEmpty())
            event.location = series.location;
        if (series.recurrence) {
            event.seriesUid = EventUid(series);
            event.seriesIdentifier = series.identifier;
            if (!event.timeZone)
                event.timeZone = series.timeZone;
        }
    }
}

// Whether an appointment has a place in a calendar: a start, or a series.
bool HasPlaceInCalendar(const AppointmentContent& event)
{
    return (event.start && event.start->isValid()) || event.recurrence;
}

// An attachment too large to go inside the calendar is written as a file of
// its own beside it, and the event points at that file. One that cannot be
// written is named among what the event lacks.
// `calendarName` is the name the folder's calendar file will take; no
// attachment takes it first.
void SaveLargeAttachmentsBeside(FileSink& files, ItemOutcomes& outcomes, const QString& folderKey,
                                AppointmentContent& event, ItemSource source, const QString& calendarName)
{
    for (qsizetype index = 0; index < event.attachments.size();) {
        CalendarAttachment& attachment = event.attachments[index];
        if (!attachment.uri.isEmpty() || attachment.data.size() <= kInlineCalendarAttachmentLimit) {
            ++index;
            continue;
        }
        const SaveResult result = files.Save(FileToSave{folderKey, attachment.fileName, attachment.data, calendarName});
        ItemOutcome outcome;
        outcome.kind = OutcomeKind::Attachment;
        outcome.entry = outcomes.EntryFor(folderKey, event.identifier, attachment.fileName, source);
        outcomes.Record(std::move(outcome), result);
        if (result) {
            attachment.uri = QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(result->path).fileName()));
            attachment.data.clear();
            ++index;
        } else {
            event.missing.Add(MissingEntry::OfAttachment(MissingPart::Attachment, attachment.fileName,
                                                         static_cast<int>(index), result.error().reason));
            event.attachments.removeAt(index);
        }
    }
}

// A task, note or journal entry read for its folder's calendar, not yet saved.
ItemOutcome OtherItemOutcome(const ItemOutcomes& outcomes, const OtherItemEntry& entry, uint32_t identifier,
                             const QString& subject, const MissingParts& missing, ItemSource source)
{
    ItemOutcome outcome;
    outcome.kind = OutcomeKindOf(entry.kind);
    outcome.entry = outcomes.EntryFor(entry.folderKey, identifier, subject, source);
    outcome.label = OtherItemLabel(entry);
    outcome.missing = missing;
    return outcome;
}

// Keeps a task or note read for its folder's calendar, and its outcome to
// record once the file is saved; the reason when it could not be read.
template <typename Content>
std::optional<QString> KeepRead(ItemRead<Content> read, std::vector<Content>& kept,
                                std::vector<ItemOutcome>& outcomesRead, const ItemOutcomes& outcomes,
                                const OtherItemEntry& entry, ItemSource source)
{
    if (!read)
        return read.error().reason;
    outcomesRead.push_back(OtherItemOutcome(outcomes, entry, read->identifier, read->subject, read->missing, source));
    kept.push_back(std::move(*read));
    return std::nullopt;
}

}  // namespace

bool WriteCalendarFiles(const RecordList<AppointmentRecord>& appointments, const RecordList<OtherItemEntry>& others,
                        ConversionRun& run)
{
    // One calendar per folder, in the order the folders first appear.
    std::vector<QString> folderKeys;
    std::map<QString, FolderCalendar> byFolder;
    auto folderFor = [&](const QString& key, const QString& name) -> FolderCalendar& {
        auto [found, added] = byFolder.try_emplace(key);
        if (added) {
            folderKeys.push_back(key);
            found->second.folderName = name;
        }
        return found->second;
    };
    // A folder's items all come from one place: the recovery's folders hold
    // recovered items only.
    for (const auto& record : appointments) {
        FolderCalendar& folder = folderFor(record->folderKey, record->folderName);
        folder.appointments.push_back(record.get());
        folder.source = record->itemLocation.source;
    }
    for (const auto& entry : others) {
        if (entry->kind != OtherItemEntry::Kind::DistributionList) {
            FolderCalendar& folder = folderFor(entry->folderKey, entry->folderName);
            folder.others.push_back(entry.get());
            folder.source = entry->location.source;
        }
    }
    ItemOutcomes outcomes = run.outcomes();
    const std::unique_ptr<FileSink> calendars = MakeFileSink(FileFormat::ICalendar, run.output());
    const std::unique_ptr<FileSink> attachmentFiles = MakeFileSink(FileFormat::AttachmentFile, run.output());
    for (const QString& folderKey : folderKeys) {
        const FolderCalendar& folder = byFolder[folderKey];
        const QString nameText = CalendarNameText(folder);
        CalendarItems items;
        std::vector<QString> eventLabels;        // beside items.events: how problem lines name each
        std::vector<const AppointmentRecord*> eventRecords;  // beside items.events: the record each was read from
        std::vector<ItemOutcome> otherOutcomes;  // the tasks and notes read, in the order read
        for (const AppointmentRecord* record : folder.appointments) {
            if (!run.Checkpoint(folderKey))
                return false;
            const QString label = QStringLiteral("appointment %1 of %2").arg(record->number).arg(folderKey);
            if (run.reader() == nullptr) {
                items.events.push_back(FromRecord(*record));
                eventLabels.push_back(label);
                eventRecords.push_back(record);
                continue;
            }
            ItemRead<AppointmentContent> read = run.reader()->ReadAppointment(record->itemLocation);
            if (!read) {
                ItemOutcome outcome;
                outcome.kind = OutcomeKind::Appointment;
                outcome.entry = outcomes.EntryFor(folderKey, record->itemLocation.itemIdentifier, QString(),
                                                  record->itemLocation.source);
                outcome.label = label;
                const WriteFailure failure =
                    read.error().outOfMemory ? WriteFailure::ShortOfMemory : WriteFailure::Unreadable;
                outcomes.Record(std::move(outcome), NotSaved(failure, read.error().reason));
                continue;
            }
            SaveLargeAttachmentsBeside(*attachmentFiles, outcomes, folderKey, *read, record->itemLocation.source,
                                       FileNameFor(nameText, QString(), QStringLiteral(".ics")));
            items.events.push_back(std::move(*read));
            eventLabels.push_back(label);
            eventRecords.push_back(record);
        }
        for (const OtherItemEntry* entry : folder.others) {
            if (!run.Checkpoint(folderKey))
                return false;
            std::optional<QString> failure = QStringLiteral("the mailbox could not be read again");
            if (run.reader() != nullptr && entry->kind == OtherItemEntry::Kind::Task)
                failure = KeepRead(run.reader()->ReadTask(entry->location), items.tasks, otherOutcomes, outcomes,
                                   *entry, folder.source);
            else if (run.reader() != nullptr)
                failure = KeepRead(run.reader()->ReadNote(entry->location, entry->kind == OtherItemEntry::Kind::Journal),
                                   items.notes, otherOutcomes, outcomes, *entry, folder.source);
            if (!failure)
                continue;
            // Memory running short while reading one of these is not told
            // apart: it fails as unreadable.
            outcomes.Record(OtherItemOutcome(outcomes, *entry, entry->location.itemIdentifier, QString(), MissingParts(),
                                             entry->location.source),
                            NotSaved(WriteFailure::Unreadable, *failure));
        }
        TieOccurrencesToTheirSeries(items.events, eventRecords);
        CalendarCounts written;
        const QByteArray calendar = ComposeCalendar(items, &written);
        if (written.total() == 0) {
            // Appointments without a start have no place in a calendar.
            outcomes.CountNotWritten(OutcomeKind::Appointment, static_cast<int>(items.events.size()));
            continue;
        }
        const SaveResult file = calendars->Save(FileToSave{folderKey, nameText, calendar, QString()});
        // Every item of the file in the manifest, each pointing at the file.
        std::vector<ItemInFile> inFile;
        for (std::size_t index = 0; index < items.events.size(); ++index) {
            const AppointmentContent& event = items.events[index];
            ItemOutcome outcome;
            outcome.kind = OutcomeKind::Appointment;
            outcome.entry = outcomes.EntryFor(folderKey, event.identifier, event.subject, folder.source);
            outcome.entry.date = event.start;
            outcome.label = eventLabels[index];
            outcome.missing = event.missing;
            inFile.push_back({std::move(outcome), HasPlaceInCalendar(event)
                                                      ? file
                                                      : SaveResult(NotSaved(WriteFailure::LeftOut,
                                                                            QStringLiteral("it has no start")))});
        }
        for (ItemOutcome& other : otherOutcomes)
            inFile.push_back({std::move(other), file});
        outcomes.RecordCalendarFile(std::move(inFile), file, nameText + QLatin1String(".ics"));
    }
    return true;
}

}  // namespace tolvane
