// Reading an item's attachment table; see ItemAttachments.h.
#include "convert/read/ItemAttachments.h"

#include "convert/read/ItemProperties.h"
#include "convert/read/PffAttachmentSource.h"
#include "scan/AttachmentName.h"
#include "scan/Limits.h"
#include "scan/PropertyTags.h"

#include <cstdio>
#include <memory>
#include <new>

namespace tolvane {

namespace {

namespace Tag = PropertyTag;

// A charset name that can stand as a MIME parameter value: a token, not too long.
QByteArray CharsetToken(const QString& text)
{
    QString name = text.trimmed();
    if (name.size() >= 2 && name.startsWith(u'"') && name.endsWith(u'"'))
        name = name.mid(1, name.size() - 2).trimmed();
    if (name.isEmpty() || name.size() > 40)
        return {};
    static const QString allowed = QStringLiteral("!#$%&'+-^_`{}~.");
    for (QChar c : name) {
        const char16_t u = c.unicode();
        const bool alnum = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9');
        if (!alnum && !allowed.contains(c))
            return {};
    }
    return name.toLatin1();
}

// The charset parameter of a stored content type ("text/plain; charset=x").
QByteArray CharsetParameter(const QString& contentType)
{
    const QStringList parameters = contentType.split(u';');
    for (qsizetype i = 1; i < parameters.size(); ++i) {
        const QString parameter = parameters[i].trimmed();
        const qsizetype equals = parameter.indexOf(u'=');
        if (equals > 0 && parameter.left(equals).trimmed().compare(QLatin1String("charset"), Qt::CaseInsensitive) == 0)
            return CharsetToken(parameter.mid(equals + 1));
    }
    return {};
}

}  // namespace

void ForEachAttachment(libpff_item_t* message, MissingParts& missing,
                       const std::function<void(PffItem& attachment, int type, int index)>& read)
{
    int count = 0;
    if (libpff_message_get_number_of_attachments(message, &count, nullptr) != 1) {
        missing.Add(MissingPart::AttachmentTable);
        return;
    }
    // libpff answers "none" when it cannot read a message's attachment table
    // at all (short of memory, say); the message's own flag tells the truth.
    if (count == 0 && (Read32(message, 0, Tag::MessageFlags).value_or(0) & kMessageFlagHasAttachments) != 0) {
        missing.Add(MissingPart::AttachmentTable);
        return;
    }
    for (int index = 0; index < count; ++index) {
        PffItem attachmentItem;
        int type = 0;
        if (libpff_message_get_attachment(message, index, attachmentItem.out(), nullptr) != 1 || !attachmentItem
            || libpff_attachment_get_type(attachmentItem.get(), &type, nullptr) != 1) {
            missing.Add(MissingEntry::OfAttachment(MissingPart::Attachment, QString(), index));
            continue;
        }
        read(attachmentItem, type, index);
    }
}

bool ReadAttachmentData(PffItem& attachmentItem, std::recursive_mutex* streamUnder, Attachment& attachment,
                        QString* reason)
{
    libpff_item_t* item = attachmentItem.get();
    size64_t size = 0;
    if (libpff_attachment_get_data_size(item, &size, nullptr) != 1) {
        *reason = QStringLiteral("its size cannot be read");
        return false;
    }
    // Short of memory, libpff can answer with less data (none) than the
    // attachment holds without reporting an error; the size the mailbox
    // recorded for the whole attachment object gives that away.
    const auto recordedSize = Read32(item, 0, Tag::AttachSize);
    if (recordedSize && *recordedSize > 2 * size + kAttachmentPropertiesAllowance) {
        *reason = QStringLiteral("only %1 of about %2 bytes could be read").arg(size).arg(*recordedSize);
        return false;
    }
    if (size == 0)
        return true;
    if (size > kInMemoryAttachmentLimit && streamUnder != nullptr) {
        attachment.source = std::make_shared<PffAttachmentSource>(std::move(attachmentItem),
                                                                  static_cast<qint64>(size), streamUnder);
        return true;
    }
    if (libpff_attachment_data_seek_offset(item, 0, SEEK_SET, nullptr) < 0) {
        *reason = QStringLiteral("its data cannot be read");
        return false;
    }
    QByteArray data;
    try {
        data = QByteArray(static_cast<qsizetype>(size), Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        *reason = QStringLiteral("not enough memory for its %1 bytes").arg(size);
        return false;
    }
    if (!ReadAttachmentBytes(item, data.data(), data.size(), reason))
        return false;
    attachment.data = std::move(data);
    return true;
}

MissingEntry AttachmentDescription::Missing(MissingPart part, QString reason) const
{
    return MissingEntry::OfAttachment(part, fileName, index, std::move(reason));
}

AttachmentDescription DescribeAttachment(libpff_item_t* attachment, int index, int codePage, MissingParts& missing)
{
    ReadFailures failures;
    AttachmentDescription description;
    description.fileName = AttachmentName(attachment, codePage, &failures).trimmed();
    description.contentType =
        MappedString(attachment, 0, Tag::AttachMimeTag, codePage, &failures).value_or(QString()).trimmed();
    description.index = index;
    description.charset = CharsetParameter(description.contentType);
    if (description.charset.isEmpty()) {
        ReadFailures ignored;  // a name for the text alone: without it, the bytes tell
        description.charset =
            CharsetToken(MappedString(attachment, 0, Tag::TextAttachmentCharset, codePage, &ignored).value_or(QString()));
    }
    NoteMissing(missing, failures, description.Missing(MissingPart::AttachmentNameOrType));
    return description;
}

QString AttachmentLink(libpff_item_t* attachment, int codePage, ReadFailures* failures)
{
    return MappedString(attachment, 0, Tag::AttachLongPathname, codePage, failures)
        .value_or(MappedString(attachment, 0, Tag::AttachPathname, codePage, failures).value_or(QString()));
}

}  // namespace tolvane
