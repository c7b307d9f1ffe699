// Rebuilding a message from the scan's record; see RecordMessage.h.
#include "convert/read/RecordMessage.h"

#include "scan/ScanTexts.h"
#include "scan/TimeText.h"

#include <QDateTime>

namespace tolvane {

MessageContent ContentFromRecord(const MailRecord& record)
{
    MessageContent content;
    // The sender as the scan's list showed it, "Unknown" when the mailbox had
    // none: the composer writes that as a sender without an address.
    const auto shown = [](const std::optional<QString>& stored) {
        return stored ? NullIfSpace(*stored) : QStringLiteral("Unknown");
    };
    const QString name = shown(record.senderName);
    const QString address = shown(record.senderAddress);
    if (!name.isEmpty() || !address.isEmpty())
        content.from = Mailbox{name, address};
    for (const QString& recipient : record.recipients) {
        if (!recipient.trimmed().isEmpty())
            content.recipients.push_back(Recipient{RecipientKind::To, Mailbox{recipient.trimmed(), QString()}});
    }
    content.subject = record.subject;
    // The best time the record holds, in the order the message's own reading
    // takes them (the record keeps no submit time): delivery, creation,
    // modification; to the second as the scan's time text gives it. A time
    // beyond year 9999 has no date and no time text alike.
    for (const std::optional<FileTime>& time : {record.deliveryTime, record.creationTime, record.modificationTime}) {
        const QDateTime date = time ? FiletimeToDateTime(time->ticks) : QDateTime();
        if (!date.isValid())
            continue;
        content.date = date.addMSecs(-date.time().msec());
        break;
    }
    const QString body = record.body.text();
    if (record.bodyKind == BodyKind::Html) {
        content.htmlBody = body.toUtf8();
        content.htmlCharset = "utf-8";
    } else {
        content.plainBody = body.toUtf8();
    }
    content.missing.Add(MissingPart::RebuiltFromRecord);
    return content;
}

}  // namespace tolvane
