// Rebuilding a message from the scan's record; see RecordMessage.h.
#include "convert/read/RecordMessage.h"

#include "scan/RecordText.h"
#include "scan/TimeText.h"

#include <QDateTime>

namespace tolvane {

MessageContent ContentFromRecord(const MailRecord& record)
{
    MessageContent content;
    // The sender as the list shows it ("Unknown" when the mailbox had none).
    const QString name = RecordText::SenderName(record);
    const QString address = RecordText::SenderAddress(record);
    if (!name.isEmpty() || !address.isEmpty())
        content.from = MailAddress{name, address};
    for (const QString& part : RecordText::Recipients(record).split(QStringLiteral(" ;"), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            content.recipients.push_back(Recipient{RecipientKind::To, MailAddress{part.trimmed(), QString()}});
    }
    content.subject = record.subject;
    // The creation time, else the modification time, to the second as the
    // scan's time text gives it. A time beyond year 9999 has no date and no
    // time text alike.
    for (const std::optional<FileTime>& time : {record.creationTime, record.modificationTime}) {
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
