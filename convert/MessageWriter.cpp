// Contact and mail passes: what gets written where, progress, and counting
// every save that failed instead of hiding it.
#include "convert/MessageWriter.h"

#include "convert/compose/CalendarWriter.h"
#include "convert/ConversionProgress.h"
#include "convert/MailFeed.h"
#include "convert/output/MailFolderFiles.h"
#include "convert/output/MailSinks.h"
#include "convert/output/MailFormats.h"
#include "convert/output/Manifest.h"
#include "convert/read/MailboxReader.h"
#include "convert/MemoryHeadroom.h"
#include "convert/MessagePreparer.h"
#include "convert/compose/MimeComposer.h"
#include "convert/output/NewFileWriter.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/compose/VCardWriter.h"
#include "scan/ContactFields.h"
#include "scan/FolderPaths.h"
#include "scan/TimeText.h"
#include "scan/WorkerGate.h"

#include <QFileInfo>
#include <QUrl>

#include <algorithm>
#include <map>
#include <set>
#include <vector>

#include <sys/stat.h>

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

void NoteIncomplete(WriterContext& context, const QString& name, const MissingParts& missing)
{
    const QString line = QStringLiteral("%1: missing %2").arg(name, WordsFor(missing).join(QStringLiteral("; ")));
    if (context.summary->firstIncomplete.size() < kReportedFailures)
        context.summary->firstIncomplete << line;
    context.sink->ReportProblem(QStringLiteral("saved incomplete: ") + line);
}

// Before each item: the gate (pause, abandon, test hooks), then a stop
// request; then the item counts towards the progress.
bool PassCheckpoint(WriterContext& context)
{
    if (context.gate != nullptr && !context.gate->Checkpoint())
        return false;
    if (context.stopRequested != nullptr && context.stopRequested->load()) {
        context.summary->interrupted = true;
        return false;
    }
    if (context.progress != nullptr)
        context.progress->ItemTaken();
    return true;
}

// A new file in the record's folder directory, made by this run when missing
// (a folder deeper than the tree shows). A directory removed or replaced
// meanwhile is never re-created or followed: the save fails instead.
// The content comes as bytes or as a writer that streams it into the file.
SaveResult SaveNewFile(WriterContext& context, const QString& folderKey, const NameForAttempt& nameForAttempt,
                       const ContentWriter& content)
{
    return CreateFileIn(context.output, folderKey, nameForAttempt, content);
}

SaveResult SaveNewFile(WriterContext& context, const QString& folderKey, const NameForAttempt& nameForAttempt,
                       const QByteArray& content)
{
    return SaveNewFile(context, folderKey, nameForAttempt, [&content](int fd, QString* reason) {
        return WriteAllTo(fd, content.constData(), content.size(), reason);
    });
}

bool HasContactFields(const ContactRecord& contact)
{
    const auto fields = ContactFields();
    return std::any_of(fields.begin(), fields.end(),
                       [&](const ContactField& field) { return !(contact.*field.member).isEmpty(); });
}

// A recovered message's outcome, its damage named by what it lacks.
void CountRecovered(ConversionSummary::RecoveredMail& recovered, bool saved, const PreparedMessage& prepared)
{
    if (!saved) {
        ++recovered.failed;
        return;
    }
    ++recovered.saved;
    if (prepared.missing.empty())
        return;
    ++(prepared.missing.anyAttachment() ? recovered.missingAttachments : recovered.otherwiseIncomplete);
}

// A manifest line's first fields.
ManifestEntry EntryFor(const WriterContext& context, const QString& kind, const QString& folderKey,
                       uint32_t identifier, const QString& subject, ItemSource source = ItemSource::Live)
{
    ManifestEntry entry;
    entry.kind = kind;
    entry.source = source;
    entry.folder = context.folders != nullptr ? context.folders->StoredPathOf(folderKey)
                                              : folderKey.split(u'\\', Qt::SkipEmptyParts).join(u'/');
    entry.identifier = identifier;
    entry.subject = subject;
    return entry;
}

// An entry into the manifest, when there is one: the file `result` saved,
// whose bytes have the digest `written`, or why it was not saved.
void Record(WriterContext& context, ManifestEntry entry, const SaveResult& result, const FileDigest& written)
{
    if (context.manifest == nullptr)
        return;
    if (result.saved) {
        entry.size = written.size;
        entry.sha256 = written.sha256;
    } else {
        entry.failure = result.reason.isEmpty() ? QStringLiteral("not written") : result.reason;
    }
    context.manifest->Add(std::move(entry), result.path);
}

void RecordFailure(WriterContext& context, ManifestEntry entry, const QString& failure)
{
    SaveResult result;
    result.reason = failure;
    Record(context, std::move(entry), result, FileDigest());
}

// The mailbox's top folder, whose own mail goes into the Maildir's top.
QString TopFolderName(const WriterContext& context)
{
    if (context.folders == nullptr || context.folders->paths().isEmpty())
        return QString();
    return context.folders->paths().first().section(u'/', 0, 0);
}

}  // namespace

void MakeWriterAvailable()
{
    EnsureGMimeReady();
}

bool WriteContactItems(const RecordList<ContactRecord>& contacts, WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    for (const auto& record : contacts) {
        if (!PassCheckpoint(context))
            return false;
        // A contact whose item cannot be read again still gets its card,
        // from its record, and is counted as incomplete: the card lacks what
        // only the item holds. Lists still find it by its UID.
        const ContactRecord* contact = record.get();
        ContactItem read;
        ContactDetails& details = read.details;
        MissingParts missing;
        if (context.reader != nullptr) {
            ItemRead<ContactItem> item = context.reader->ReadContact(*record);
            if (item) {
                read = std::move(*item);
                contact = &read.fields;
            } else {
                // A walk that kept only where the contact is left the record
                // without fields: the card then lacks everything.
                missing.Add(MissingEntry(HasContactFields(*record) ? MissingPart::ContactDetails : MissingPart::ContactFields,
                                         item.error().reason));
                details.uid = ContactUid(context.reader->storeKey(), contact->location.itemIdentifier);
            }
        }
        const QByteArray card = ComposeVCard(*contact, details);
        const QString nameText = ContactNameText(*contact);
        const SaveResult result = SaveNewFile(
            context, contact->folderKey,
            [&](int attempt) { return FileNameFor(nameText, QString(), QStringLiteral(".vcf"), attempt); }, card);
        Record(context,
               EntryFor(context, QStringLiteral("contact"), contact->folderKey, contact->location.itemIdentifier,
                        nameText, contact->location.source),
               result, DigestOf(card));
        const bool saved = result.saved;
        const QString& reason = result.reason;
        if (details.photoLeftOut)
            missing.Add(*details.photoLeftOut);
        if (saved && !missing.empty()) {
            ++summary.contactsSaved;
            ++summary.contactsIncomplete;
            NoteIncomplete(context, nameText + QLatin1String(".vcf"), missing);
        } else if (saved) {
            ++summary.contactsSaved;
        } else {
            ++summary.contactsFailed;
            NoteFailure(context, nameText + QLatin1String(".vcf"), reason);
        }
    }
    return true;
}

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
// series' UID.
void TieOccurrencesToTheirSeries(std::vector<AppointmentContent>& events,
                                 const std::vector<const AppointmentRecord*>& records)
{
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
}

// An attachment too large to go inside the calendar is written as a file of
// its own beside it, and the event points at that file. One that cannot be
// written is named among what the event lacks.
// `calendarName` is the name the folder's calendar file will take; no
// attachment takes it first.
void SaveLargeAttachmentsBeside(WriterContext& context, const QString& folderKey, AppointmentContent& event,
                                ItemSource source, const QString& calendarName)
{
    for (qsizetype index = 0; index < event.attachments.size();) {
        CalendarAttachment& attachment = event.attachments[index];
        if (!attachment.uri.isEmpty() || attachment.data.size() <= kInlineCalendarAttachmentLimit) {
            ++index;
            continue;
        }
        const QString name = attachment.fileName.isEmpty() ? QStringLiteral("attachment") : attachment.fileName;
        const qsizetype dot = name.lastIndexOf(u'.');
        const QString base = dot > 0 ? name.left(dot) : name;
        const QString suffix = dot > 0 ? name.mid(dot) : QString();
        const SaveResult result = SaveNewFile(
            context, folderKey,
            [&](int attempt) {
                const QString candidate = FileNameFor(base, QString(), suffix, attempt);
                return candidate == calendarName ? FileNameFor(base + QStringLiteral("-attachment"), QString(), suffix, attempt)
                                                 : candidate;
            },
            attachment.data);
        Record(context,
               EntryFor(context, QStringLiteral("attachment"), folderKey, event.identifier, attachment.fileName, source),
               result, DigestOf(attachment.data));
        if (result.saved) {
            attachment.uri = QString::fromLatin1(QUrl::toPercentEncoding(QFileInfo(result.path).fileName()));
            attachment.data.clear();
            ++index;
        } else {
            event.missing.Add(MissingEntry::OfAttachment(MissingPart::Attachment, attachment.fileName,
                                                         static_cast<int>(index), result.reason));
            event.attachments.removeAt(index);
        }
    }
}

QString KindText(OtherItemEntry::Kind kind)
{
    switch (kind) {
    case OtherItemEntry::Kind::Task: return QStringLiteral("task");
    case OtherItemEntry::Kind::Note: return QStringLiteral("note");
    case OtherItemEntry::Kind::Journal: return QStringLiteral("journal entry");
    case OtherItemEntry::Kind::DistributionList: return QStringLiteral("distribution list");
    }
    return QStringLiteral("item");
}

QString OtherItemLabel(const OtherItemEntry& entry)
{
    switch (entry.kind) {
    case OtherItemEntry::Kind::Task: return QStringLiteral("a task of %1").arg(entry.folderKey);
    case OtherItemEntry::Kind::Note: return QStringLiteral("a note of %1").arg(entry.folderKey);
    case OtherItemEntry::Kind::Journal: return QStringLiteral("a journal entry of %1").arg(entry.folderKey);
    case OtherItemEntry::Kind::DistributionList: return QStringLiteral("a distribution list of %1").arg(entry.folderKey);
    }
    return entry.folderKey;
}

}  // namespace

bool WriteCalendarFiles(const RecordList<AppointmentRecord>& appointments, const RecordList<OtherItemEntry>& others,
                        WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
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
    for (const QString& folderKey : folderKeys) {
        const FolderCalendar& folder = byFolder[folderKey];
        CalendarItems items;
        int unreadable = 0;
        std::vector<std::pair<QString, MissingParts>> incomplete;  // events that lack something, and what
        std::vector<std::pair<QString, MissingParts>> incompleteOthers;  // tasks and notes alike
        for (const AppointmentRecord* record : folder.appointments) {
            if (!PassCheckpoint(context))
                return false;
            if (context.reader == nullptr) {
                items.events.push_back(FromRecord(*record));
                continue;
            }
            const QString label = QStringLiteral("appointment %1 of %2").arg(record->number).arg(folderKey);
            ItemRead<AppointmentContent> read = context.reader->ReadAppointment(record->itemLocation);
            if (!read) {
                ++unreadable;
                summary.memoryShort = summary.memoryShort || read.error().outOfMemory;
                NoteFailure(context, label, read.error().reason);
                RecordFailure(context,
                              EntryFor(context, QStringLiteral("appointment"), folderKey,
                                       record->itemLocation.itemIdentifier, QString(), record->itemLocation.source),
                              read.error().reason);
                continue;
            }
            SaveLargeAttachmentsBeside(context, folderKey, *read, record->itemLocation.source,
                                       FileNameFor(CalendarNameText(folder), QString(), QStringLiteral(".ics")));
            const bool placed = (read->start && read->start->isValid()) || read->recurrence;
            if (!read->missing.empty() && placed)
                incomplete.emplace_back(label, read->missing);
            items.events.push_back(std::move(*read));
        }
        for (const OtherItemEntry* entry : folder.others) {
            if (!PassCheckpoint(context))
                return false;
            QString failure = QStringLiteral("the mailbox could not be read again");
            if (context.reader != nullptr) {
                if (entry->kind == OtherItemEntry::Kind::Task) {
                    auto read = context.reader->ReadTask(entry->location);
                    if (read) {
                        if (!read->missing.empty())
                            incompleteOthers.emplace_back(OtherItemLabel(*entry), read->missing);
                        items.tasks.push_back(std::move(*read));
                        continue;
                    }
                    failure = read.error().reason;
                } else {
                    auto read = context.reader->ReadNote(entry->location, entry->kind == OtherItemEntry::Kind::Journal);
                    if (read) {
                        if (!read->missing.empty())
                            incompleteOthers.emplace_back(OtherItemLabel(*entry), read->missing);
                        items.notes.push_back(std::move(*read));
                        continue;
                    }
                    failure = read.error().reason;
                }
            }
            ++summary.otherItemsFailed;
            NoteFailure(context, OtherItemLabel(*entry), failure);
            RecordFailure(context,
                          EntryFor(context, KindText(entry->kind), folderKey, entry->location.itemIdentifier, QString(),
                                   entry->location.source),
                          failure);
        }
        TieOccurrencesToTheirSeries(items.events, folder.appointments);
        CalendarCounts written;
        const QByteArray calendar = ComposeCalendar(items, &written);
        // Appointments without a start have no place in a calendar.
        summary.eventsFailed += unreadable + static_cast<int>(items.events.size()) - written.events;
        if (written.total() == 0)
            continue;
        const QString nameText = CalendarNameText(folder);
        const SaveResult result = SaveNewFile(
            context, folderKey, [&](int attempt) { return FileNameFor(nameText, QString(), QStringLiteral(".ics"), attempt); },
            calendar);
        // Every item of the file in the manifest, each pointing at the file.
        const FileDigest calendarDigest = DigestOf(calendar);
        for (const AppointmentContent& event : items.events) {
            ManifestEntry entry = EntryFor(context, QStringLiteral("appointment"), folderKey, event.identifier,
                                           event.subject, folder.source);
            entry.date = event.start;
            if ((event.start && event.start->isValid()) || event.recurrence)
                Record(context, std::move(entry), result, calendarDigest);
            else
                RecordFailure(context, std::move(entry), QStringLiteral("it has no start"));
        }
        for (const TaskContent& task : items.tasks)
            Record(context, EntryFor(context, QStringLiteral("task"), folderKey, task.identifier, task.subject, folder.source), result,
                   calendarDigest);
        for (const NoteContent& note : items.notes) {
            Record(context,
                   EntryFor(context, note.journal ? QStringLiteral("journal entry") : QStringLiteral("note"), folderKey,
                            note.identifier, note.subject, folder.source),
                   result, calendarDigest);
        }
        if (result.saved) {
            ++summary.calendarFilesSaved;
            summary.eventsSaved += written.events;
            summary.tasksSaved += written.tasks;
            summary.notesSaved += written.notes;
            for (const auto& [label, missing] : incomplete) {
                ++summary.eventsIncomplete;
                NoteIncomplete(context, label, missing);
            }
            for (const auto& [label, missing] : incompleteOthers) {
                ++summary.otherItemsIncomplete;
                NoteIncomplete(context, label, missing);
            }
        } else {
            summary.eventsFailed += written.events;
            summary.otherItemsFailed += written.tasks + written.notes;
            NoteFailure(context, nameText + QLatin1String(".ics"), result.reason);
        }
    }
    return true;
}

bool WriteDistributionLists(const RecordList<OtherItemEntry>& others, const RecordList<ContactRecord>& contacts,
                            WriterContext& context)
{
    ConversionSummary& summary = *context.summary;
    // The contacts a member can name by UID: those whose vCard this run writes.
    std::set<uint32_t> contactIdentifiers;
    for (const auto& contact : contacts) {
        if (!contact->location.isEmbedded())
            contactIdentifiers.insert(contact->location.itemIdentifier);
    }
    for (const auto& entry : others) {
        if (entry->kind != OtherItemEntry::Kind::DistributionList)
            continue;
        if (!PassCheckpoint(context))
            return false;
        auto read = context.reader != nullptr ? context.reader->ReadDistributionList(entry->location)
                                              : ItemRead<DistributionListContent>(
                                                    Failed(ReadError{QStringLiteral("the mailbox could not be read again")}));
        if (!read) {
            ++summary.otherItemsFailed;
            const QString failure = read.error().reason;
            NoteFailure(context, OtherItemLabel(*entry), failure);
            RecordFailure(context,
                          EntryFor(context, QStringLiteral("distribution list"), entry->folderKey,
                                   entry->location.itemIdentifier, QString(), entry->location.source),
                          failure);
            continue;
        }
        for (DistributionListContent::Member& member : read->members) {
            if (member.contactIdentifier && contactIdentifiers.count(*member.contactIdentifier) != 0)
                member.contactUid = ContactUid(context.reader->storeKey(), *member.contactIdentifier);
        }
        const QString nameText = read->name.isEmpty() ? QStringLiteral("Distribution list") : read->name;
        const QByteArray card = ComposeGroupCard(*read);
        const SaveResult result = SaveNewFile(
            context, entry->folderKey,
            [&](int attempt) { return FileNameFor(nameText, QString(), QStringLiteral(".vcf"), attempt); }, card);
        Record(context,
               EntryFor(context, QStringLiteral("distribution list"), entry->folderKey, entry->location.itemIdentifier,
                        nameText, entry->location.source),
               result, DigestOf(card));
        if (result.saved && !read->membersLeftOut.isEmpty()) {
            ++summary.distributionListsSaved;
            ++summary.distributionListsIncomplete;
            MissingEntry members(MissingPart::MembersWithoutAddress);
            members.names = read->membersLeftOut;
            MissingParts missing;
            missing.Add(std::move(members));
            NoteIncomplete(context, nameText + QLatin1String(".vcf"), missing);
        } else if (result.saved) {
            ++summary.distributionListsSaved;
        } else {
            ++summary.otherItemsFailed;
            NoteFailure(context, nameText + QLatin1String(".vcf"), result.reason);
        }
    }
    return true;
}

namespace {

bool WriteMailLoop(MailFeed& mail, WriterContext& context, MailSink& sink)
{
    ConversionSummary& summary = *context.summary;
    std::vector<MailboxReader*> readers{context.reader};
    readers.insert(readers.end(), context.moreReaders.begin(), context.moreReaders.end());
    MessagePreparer preparer(mail, readers, readers.size() * 4 + 4);
    ConversionRandom random;
    // Until the feed ends: a walk still going on may add more while these are written.
    for (std::size_t index = 0;; ++index) {
        const std::shared_ptr<const MailRecord> next = mail.WaitFor(index);
        if (!next)
            break;
        const MailRecord& record = *next;
        if (!PassCheckpoint(context))
            return false;
        ++summary.mailTotal;

        PreparedMessage prepared = preparer.Take(index);
        // Named and dated by what its one read found; by its record where it
        // could not be read (a walk that kept only where it is leaves no subject).
        const QString subject = prepared.naming ? prepared.naming->subject : record.subject;
        const std::optional<QDateTime> delivered =
            prepared.naming ? prepared.naming->delivered
            : record.deliveryTime ? std::optional<QDateTime>(FiletimeToDateTime(record.deliveryTime->ticks))
                                  : std::nullopt;

        const QString number = QString::number(random.Next());
        const QString nameText = MailNameText(subject);
        const QString fileName = FileNameFor(nameText, number, QStringLiteral(".eml"));
        // How the problem lines name the mail: its file, or where there is
        // none of its own, its subject and folder.
        const QString label = context.format == OutputFormat::Eml
                                  ? fileName
                                  : QStringLiteral("\"%1\" in %2")
                                        .arg(nameText, context.folders != nullptr ? context.folders->StoredPathOf(record.folderKey)
                                                                                   : record.folderKey);
        const auto name = [&](int attempt) { return FileNameFor(nameText, number, QStringLiteral(".eml"), attempt); };
        // The time a mail client sorts the message by: when it arrived, else
        // the date it carries.
        const std::optional<QDateTime> arrived = delivered ? delivered : prepared.date;
        // The message's bytes into a descriptor, composed here when its
        // attachments stream from the mailbox.
        const ContentWriter writeMessage = [&](int fd, QString* why) {
            if (!prepared.streamed)
                return WriteAllTo(fd, prepared.bytes.constData(), prepared.bytes.size(), why);
            const auto message = ComposeMessage(*prepared.streamed);
            const bool written = WriteMessageToDescriptor(message.get(), fd, why);
            // A write that failed (a full disk) stopped the reading too: its
            // own reason is the one to give, unless a read failed first.
            if (!written) {
                for (const auto& source : prepared.sources) {
                    if (!source->failure().isEmpty()) {
                        *why = QStringLiteral("an attachment could not be read: ") + source->failure();
                        break;
                    }
                }
                return false;
            }
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
            return true;
        };
        SaveResult result;
        if (!prepared.failure.isEmpty()) {
            result.reason = prepared.failure;
            summary.memoryShort = summary.memoryShort || prepared.failedForMemory;
        } else if (!HasMemoryHeadroom(prepared.streamed ? ComposeFootprint(*prepared.streamed) : kWriteHeadroom)) {
            result.reason = QStringLiteral("not enough memory to write the message");
            summary.memoryShort = true;
        } else {
            MailToSave toSave;
            toSave.folderKey = record.folderKey;
            toSave.folderName = record.folderName;
            toSave.fileName = name;
            toSave.arrived = arrived;
            toSave.senderAddress = prepared.senderAddress;
            toSave.state = prepared.state;
            toSave.bytes = prepared.streamed ? nullptr : &prepared.bytes;
            toSave.write = writeMessage;
            toSave.digest = prepared.digest;
            result = sink.Save(toSave);
        }
        if (context.manifest != nullptr) {
            ManifestEntry entry = EntryFor(context, QStringLiteral("mail"), record.folderKey,
                                           record.location.itemIdentifier, subject, record.location.source);
            entry.date = prepared.date ? prepared.date : arrived;
            entry.messageId = prepared.messageId;
            entry.failure = result.saved ? QString() : result.reason;
            entry.offset = result.offset;
            entry.size = result.digest.size;
            entry.sha256 = result.digest.sha256;
            context.manifest->Add(std::move(entry), result.path);
        }
        const bool saved = result.saved;
        const QString& reason = result.reason;
        if (saved && prepared.missing.empty()) {
            ++summary.mailSaved;
            summary.embeddedCarried += prepared.embeddedCarried;
        } else if (saved) {
            ++summary.mailIncomplete;
            summary.embeddedCarried += prepared.embeddedCarried;
            NoteIncomplete(context, label, prepared.missing);
        } else {
            ++summary.mailFailed;
            NoteFailure(context, label, reason);
        }
        if (record.location.isRecovered())
            CountRecovered(summary.recovered, saved, prepared);
        mail.Release(index);
    }
    return true;
}

}  // namespace

bool WriteMailFiles(MailFeed& mail, WriterContext& context)
{
    // The manifest records every mbox file whole once it is in place, so a
    // message added to it later is seen.
    const std::unique_ptr<MailSink> sink =
        MakeMailSink(context.format, context.output, context.folders, TopFolderName(context),
                     [&context](const QString& path, const FileDigest& whole) {
                         if (context.manifest != nullptr)
                             context.manifest->AddWholeFile(path, whole);
                     });
    const bool ended = WriteMailLoop(mail, context, *sink);
    for (const QString& problem : sink->Finish()) {
        context.summary->outputProblems << problem;
        context.sink->ReportProblem(problem);
    }
    return ended;
}

}  // namespace tolvane
