// Reading appointments, tasks, notes and journal entries; see CalendarMapper.h.
#include "convert/read/CalendarMapper.h"

#include "convert/read/AddressResolver.h"
#include "convert/read/AppointmentRecurrence.h"
#include "convert/read/ItemAttachments.h"
#include "convert/read/ItemProperties.h"
#include "convert/read/MeetingAttendees.h"
#include "convert/read/MessageMapper.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

#include <QUrl>

#include <cstring>
#include <iterator>

namespace tolvane {

namespace {

namespace Tag = PropertyTag;

// A link kept instead of a file, as a URI: a URL stays as it is, a path on
// the machine that made the link becomes a file: URI.
QString LinkUri(const QString& link)
{
    const QString trimmed = link.trimmed();
    if (trimmed.isEmpty() || trimmed.contains(QLatin1String("://")))
        return trimmed;
    QString path = trimmed;
    path.replace(u'\\', u'/');
    if (!path.startsWith(u'/'))
        path.prepend(u'/');
    return QStringLiteral("file://") + QString::fromLatin1(QUrl::toPercentEncoding(path, "/:"));
}

// Runs one read with its failures noted: `what` goes into `missing` when any
// of them failed.
template <typename Read>
auto Noted(MissingParts& missing, MissingPart what, const Read& read)
{
    ReadFailures failures;
    auto value = read(&failures);
    NoteMissing(missing, failures, what);
    return value;
}

// Every calendar item's title is its subject; noted in `missing` when it
// cannot be read.
QString ReadTitle(libpff_item_t* item, int fileCodePage, MissingParts& missing)
{
    return Noted(missing, MissingPart::Title, [&](ReadFailures* failures) {
        return ReadSubject(item, fileCodePage, failures).value_or(QString());
    });
}

}  // namespace

AppointmentContent ReadAppointmentContent(libpff_item_t* item, uint32_t identifier, int fileCodePage)
{
    using Busy = AppointmentContent::Busy;
    AppointmentContent content;
    content.identifier = identifier;
    const int codePage = MessageCodePage(item, fileCodePage);
    // What an event is made of is read with its failures noted: an event
    // written without one of them says so, as a mail does.
    content.subject = ReadTitle(item, fileCodePage, content.missing);
    content.location = Noted(content.missing, MissingPart::Location, [&](ReadFailures* failures) {
        return ReadMessageString(item, Tag::AppointmentLocation, fileCodePage, NamedLookup::Mapped, failures)
            .value_or(QString())
            .trimmed();
    });
    content.description = Noted(content.missing, MissingPart::Description,
                                [&](ReadFailures* failures) { return PlainText(item, fileCodePage, failures); });
    content.start = Noted(content.missing, MissingPart::Start, [&](ReadFailures* failures) {
        return TimeOf(item, Tag::AppointmentStartWhole, failures);
    });
    content.end = Noted(content.missing, MissingPart::End,
                        [&](ReadFailures* failures) { return TimeOf(item, Tag::AppointmentEndWhole, failures); });
    content.allDay = ReadBoolean(item, 0, Tag::AppointmentSubType).value_or(false);
    content.created = TimeOf(item, Tag::CreationTime);
    content.modified = TimeOf(item, Tag::ModificationTime);
    content.sensitivity = SensitivityOf(item).value_or(HeaderProperties::Sensitivity::None);
    if (const auto busy = Read32(item, 0, Tag::BusyStatus)) {
        static const Busy kinds[] = {Busy::Free, Busy::Tentative, Busy::Busy, Busy::OutOfOffice,
                                     Busy::WorkingElsewhere};
        if (*busy < std::size(kinds))
            content.busy = kinds[*busy];
    }
    content.categories = Categories(item, codePage);
    if (ReadBoolean(item, 0, Tag::ReminderSet).value_or(false)) {
        const auto delta = Read32(item, 0, Tag::ReminderDelta);
        content.reminderMinutes = delta ? static_cast<int>(static_cast<int32_t>(*delta)) : 15;
    }
    if (const auto blob = ReadBinary(item, 0, Tag::AppointmentRecur)) {
        QString invalid;
        content.recurrence = ParseAppointmentRecurrence(*blob, &invalid);
        if (!content.recurrence && !invalid.isEmpty()) {
            content.invalidRecurrence = invalid;
            content.invalidRecurrenceBlob = *blob;
            content.missing.Add(MissingEntry(MissingPart::Recurrence, invalid));
        }
    }
    if (const auto zone = ReadBinary(item, 0, Tag::TimeZoneStruct)) {
        content.timeZone = ParseTimeZoneStruct(
            *zone, ReadMessageString(item, Tag::TimeZoneDescription, fileCodePage).value_or(QString()).trimmed());
        // The zone's key name, from the definition the series keeps, else the
        // one its first occurrence was shown in.
        for (const uint32_t definition : {Tag::TimeZoneDefinitionRecur, Tag::TimeZoneDefinitionStartDisplay}) {
            const auto blob = content.timeZone ? ReadBinary(item, 0, definition) : std::nullopt;
            if (const auto keyName = blob ? ParseTimeZoneDefinitionKeyName(*blob) : std::nullopt) {
                content.timeZone->keyName = *keyName;
                break;
            }
        }
    }
    content.replacedStart = TimeOf(item, Tag::ExceptionReplaceTime);
    if (const auto sequence = Read32(item, 0, Tag::AppointmentSequence))
        content.sequence = static_cast<int>(*sequence);
    if (const auto global = ReadNamedProperty(item, 0, kGlobalObjectIdProperty);
        global && global->valueType == PropertyType::Binary)
        content.globalObjectId = global->data;
    // A meeting: the recipients are its attendees and the sender organises it.
    content.attendees = ReadMeetingAttendees(item, codePage);
    ReadFailures ignored;
    if (!content.attendees.isEmpty()) {
        if (const auto sender = AddressResolver(codePage).Sender(item, &ignored);
            sender && sender->mailbox().addrSpec())
            content.organizer = sender->mailbox();
    }
    return content;
}

void ReadAppointmentAttachments(libpff_item_t* appointment, int fileCodePage, AppointmentContent& content)
{
    const int codePage = MessageCodePage(appointment, fileCodePage);
    ForEachAttachment(appointment, content.missing, [&](PffItem& attachmentItem, int type, int index) {
        if (type == LIBPFF_ATTACHMENT_TYPE_ITEM)
            return;
        const AttachmentDescription description =
            DescribeAttachment(attachmentItem.get(), index, codePage, content.missing);
        CalendarAttachment attachment;
        attachment.fileName = description.fileName;
        attachment.contentType = description.contentType;
        if (type == LIBPFF_ATTACHMENT_TYPE_REFERENCE) {
            ReadFailures linkFailures;
            attachment.uri = LinkUri(AttachmentLink(attachmentItem.get(), codePage, &linkFailures));
            if (attachment.uri.isEmpty()) {
                content.missing.Add(description.Missing(MissingPart::AttachmentLink));
                return;
            }
        } else {
            // No lock to stream under: every attachment is read whole, now.
            Attachment read;
            QString reason;
            if (!ReadAttachmentData(attachmentItem, nullptr, read, &reason)) {
                content.missing.Add(description.Missing(MissingPart::Attachment, reason));
                return;
            }
            attachment.data = std::move(read.data);
        }
        content.attachments.push_back(std::move(attachment));
    });
}

TaskContent ReadTaskContent(libpff_item_t* item, uint32_t identifier, int fileCodePage)
{
    using Status = TaskContent::Status;
    TaskContent task;
    task.identifier = identifier;
    task.subject = ReadTitle(item, fileCodePage, task.missing);
    task.description = Noted(task.missing, MissingPart::Description,
                             [&](ReadFailures* failures) { return PlainText(item, fileCodePage, failures); });
    task.start = Noted(task.missing, MissingPart::Start,
                       [&](ReadFailures* failures) { return DayOf(item, Tag::TaskStartDate, failures); });
    task.due = Noted(task.missing, MissingPart::DueDate,
                     [&](ReadFailures* failures) { return DayOf(item, Tag::TaskDueDate, failures); });
    task.completed = Noted(task.missing, MissingPart::CompletionDate,
                           [&](ReadFailures* failures) { return TimeOf(item, Tag::TaskDateCompleted, failures); });
    if (const auto percent = ReadProperty(item, 0, Tag::PercentComplete);
        percent && percent->valueType == 0x0005 && percent->data.size() == 8) {
        double value = 0;
        std::memcpy(&value, percent->data.constData(), sizeof value);
        if (value >= 0 && value <= 1)
            task.percentComplete = static_cast<int>(value * 100 + 0.5);
    }
    if (const auto status = Read32(item, 0, Tag::TaskStatus); status && *status <= 4) {
        static const Status kinds[] = {Status::NotStarted, Status::InProgress, Status::Completed, Status::Waiting,
                                       Status::Deferred};
        task.status = kinds[*status];
    }
    task.importance = ImportanceOf(item);
    task.sensitivity = SensitivityOf(item).value_or(HeaderProperties::Sensitivity::None);
    task.categories = Categories(item, MessageCodePage(item, fileCodePage));
    task.created = TimeOf(item, Tag::CreationTime);
    task.modified = TimeOf(item, Tag::ModificationTime);
    if (ReadBoolean(item, 0, Tag::TaskIsRecurring).value_or(false)) {
        if (const auto blob = ReadBinary(item, 0, Tag::TaskRecurrence))
            task.recurrence = ParseRecurrencePattern(*blob);
    }
    return task;
}

NoteContent ReadNoteContent(libpff_item_t* item, uint32_t identifier, int fileCodePage, bool journal)
{
    NoteContent note;
    note.journal = journal;
    note.identifier = identifier;
    note.subject = ReadTitle(item, fileCodePage, note.missing);
    note.text = Noted(note.missing, MissingPart::Text,
                      [&](ReadFailures* failures) { return PlainText(item, fileCodePage, failures); });
    if (journal) {
        note.start = Noted(note.missing, MissingPart::Start,
                           [&](ReadFailures* failures) { return TimeOf(item, Tag::LogStart, failures); });
        note.journalType = ReadMessageString(item, Tag::LogType, fileCodePage).value_or(QString()).trimmed();
    }
    note.created = TimeOf(item, Tag::CreationTime);
    note.modified = TimeOf(item, Tag::ModificationTime);
    note.categories = Categories(item, MessageCodePage(item, fileCodePage));
    return note;
}

}  // namespace tolvane
