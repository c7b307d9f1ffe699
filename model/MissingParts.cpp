// The words for what an item lacks: the only place they are made.
#include "model/MissingParts.h"

#include <algorithm>

namespace tolvane {

namespace {

// ` "name"`; empty for no name.
QString Quoted(const QString& name)
{
    return name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(name);
}

QString AttachmentLabel(const MissingEntry& entry)
{
    return entry.name.isEmpty() ? QStringLiteral("attachment %1").arg(entry.index + 1)
                                : QStringLiteral("attachment") + Quoted(entry.name);
}

QString WordsOfPart(const MissingEntry& entry)
{
    switch (entry.part) {
    case MissingPart::Properties: return QStringLiteral("the message's properties (subject, sender, date, body)");
    case MissingPart::RebuiltFromRecord:
        return QStringLiteral(
            "rebuilt from the scan's list: attachments, Cc and Bcc, e-mail addresses and the original headers");
    case MissingPart::Subject: return QStringLiteral("the subject");
    case MissingPart::Sender: return QStringLiteral("the sender");
    case MissingPart::Recipients: return QStringLiteral("the recipients");
    case MissingPart::Date: return QStringLiteral("the date");
    case MissingPart::InternetHeaders: return QStringLiteral("the original internet headers");
    case MissingPart::HeaderFields:
        return QStringLiteral("the message's header fields (identifiers, importance, reply-to)");
    case MissingPart::Body: return QStringLiteral("the body");
    case MissingPart::NotDownloaded:
        return QStringLiteral("the body and any attachments: the offline cache holds only the header of this "
                              "mail, never downloaded from the server");
    case MissingPart::AttachmentTable: return QStringLiteral("the attachments");
    case MissingPart::Attachment:
        return entry.reason.isEmpty() ? AttachmentLabel(entry) : AttachmentLabel(entry) + QStringLiteral(": ") + entry.reason;
    case MissingPart::AttachmentNameOrType: return AttachmentLabel(entry) + QStringLiteral(" (its name or type)");
    case MissingPart::AttachmentLink: return AttachmentLabel(entry) + QStringLiteral(" (where the linked file lives)");
    case MissingPart::EmbeddedMessage: return QStringLiteral("the embedded message") + Quoted(entry.name);
    case MissingPart::EmbeddedTooDeep:
        return QStringLiteral("an embedded message nested deeper than %1 levels").arg(entry.count);
    case MissingPart::Title: return QStringLiteral("the title");
    case MissingPart::Location: return QStringLiteral("the location");
    case MissingPart::Description: return QStringLiteral("the description");
    case MissingPart::Start: return QStringLiteral("the start");
    case MissingPart::End: return QStringLiteral("the end");
    case MissingPart::Recurrence: return QStringLiteral("its recurrence (%1; written as one event)").arg(entry.reason);
    case MissingPart::DueDate: return QStringLiteral("the due date");
    case MissingPart::CompletionDate: return QStringLiteral("the completion date");
    case MissingPart::Text: return QStringLiteral("the text");
    case MissingPart::ContactDetails:
        return QStringLiteral("its e-mail and postal addresses, dates, categories and photo (%1)").arg(entry.reason);
    case MissingPart::ContactFields:
        return QStringLiteral("its names, numbers, addresses, dates, categories and photo (%1)").arg(entry.reason);
    case MissingPart::Photo:
        return QStringLiteral("its photo (%1)").arg(entry.reason.isEmpty() ? QStringLiteral("no data") : entry.reason);
    case MissingPart::PhotoTooLarge:
        return QStringLiteral("its photo (%1 MB, more than the %2 MB a card holds)")
            .arg((entry.count + (1 << 20) - 1) >> 20)
            .arg(entry.limit >> 20);
    case MissingPart::MembersWithoutAddress:
        return QStringLiteral("members without an address: ") + entry.names.join(QStringLiteral(", "));
    }
    return QString();
}

}  // namespace

MissingEntry MissingEntry::OfAttachment(MissingPart part, QString name, int index, QString reason)
{
    MissingEntry entry(part, std::move(reason));
    entry.name = std::move(name);
    entry.index = index;
    return entry;
}

MissingEntry MissingEntry::Sized(MissingPart part, std::int64_t count, std::int64_t limit)
{
    MissingEntry entry(part);
    entry.count = count;
    entry.limit = limit;
    return entry;
}

bool MissingEntry::isAttachment() const
{
    if (!within.isEmpty())
        return true;
    switch (part) {
    case MissingPart::RebuiltFromRecord:  // the scan's list keeps no attachments
    case MissingPart::AttachmentTable:
    case MissingPart::Attachment:
    case MissingPart::AttachmentNameOrType:
    case MissingPart::AttachmentLink:
    case MissingPart::EmbeddedMessage:
    case MissingPart::EmbeddedTooDeep:
        return true;
    default:
        return false;
    }
}

void MissingParts::AddOnce(MissingEntry entry)
{
    const QString words = WordsFor(entry);
    if (std::none_of(entries_.begin(), entries_.end(), [&](const MissingEntry& noted) { return WordsFor(noted) == words; }))
        entries_.push_back(std::move(entry));
}

void MissingParts::AddWithin(const QString& subject, const MissingParts& inner)
{
    for (MissingEntry entry : inner.entries()) {
        entry.within.prepend(subject);
        entries_.push_back(std::move(entry));
    }
}

bool MissingParts::contains(MissingPart part) const
{
    return std::any_of(entries_.begin(), entries_.end(), [part](const MissingEntry& entry) {
        return entry.part == part && entry.within.isEmpty();
    });
}

bool MissingParts::anyAttachment() const
{
    return std::any_of(entries_.begin(), entries_.end(), [](const MissingEntry& entry) { return entry.isAttachment(); });
}

QString WordsFor(const MissingEntry& entry)
{
    QString words;
    for (const QString& subject : entry.within)
        words += QStringLiteral("in the embedded message%1: ").arg(Quoted(subject));
    return words + WordsOfPart(entry);
}

QStringList WordsFor(const MissingParts& parts)
{
    QStringList words;
    words.reserve(static_cast<qsizetype>(parts.size()));
    for (const MissingEntry& entry : parts.entries())
        words << WordsFor(entry);
    return words;
}

}  // namespace tolvane
