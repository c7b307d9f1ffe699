// Reading a whole message through libpff into a MessageContent.
#include "convert/read/MessageMapper.h"

#include "convert/read/BodyText.h"
#include "convert/read/RtfBody.h"
#include "convert/read/AddressResolver.h"
#include "convert/read/ItemAttachments.h"
#include "convert/read/ItemProperties.h"
#include "convert/read/MeetingCalendar.h"
#include "scan/PropertyTags.h"
#include "scan/TextDecoding.h"
#include "scan/TimeText.h"

#include <algorithm>
#include <memory>

namespace tolvane {

namespace {

namespace Tag = PropertyTag;

HeaderProperties ReadHeaderProperties(libpff_item_t* message, const AddressResolver& addresses, int codePage,
                                      int fileCodePage, const std::optional<ResolvedMailbox>& sender,
                                      ReadFailures* failures)
{
    using Fields = HeaderProperties;
    HeaderProperties fields;
    auto text = [&](uint32_t tag) {
        return ReadMessageString(message, tag, fileCodePage, NamedLookup::Mapped, failures).value_or(QString()).trimmed();
    };
    fields.messageId = text(Tag::InternetMessageId);
    fields.inReplyTo = text(Tag::InReplyToId);
    fields.references = text(Tag::InternetReferences);
    fields.threadTopic = text(Tag::ConversationTopic);
    fields.threadIndex = ReadBinary(message, 0, Tag::ConversationIndex, NamedLookup::Mapped, failures).value_or(QByteArray());
    fields.importance = ImportanceOf(message, failures);
    if (const auto priority = Read32(message, 0, Tag::Priority, NamedLookup::Mapped, failures)) {
        const auto value = static_cast<int32_t>(*priority);
        fields.priority = value < 0 ? Fields::Priority::NonUrgent
                          : value == 0 ? Fields::Priority::Normal
                                       : Fields::Priority::Urgent;
    }
    fields.sensitivity = SensitivityOf(message, failures);
    for (const ResolvedMailbox& mailbox : addresses.ReplyTo(message, failures))
        fields.replyTo.push_back(mailbox.mailbox());
    if (ReadBoolean(message, 0, Tag::ReadReceiptRequested, NamedLookup::Mapped, failures).value_or(false)) {
        if (const auto receiptTo = addresses.ReadReceiptTo(message, fileCodePage, sender, failures))
            fields.readReceiptTo = receiptTo->mailbox();
    }
    fields.keywords = Categories(message, codePage, failures);
    fields.unsent = (Read32(message, 0, Tag::MessageFlags, NamedLookup::Mapped, failures).value_or(0)
                     & kMessageFlagUnsent) != 0;
    return fields;
}

std::optional<QDateTime> ReadDate(libpff_item_t* message, ReadFailures* failures)
{
    for (uint32_t tag : {Tag::ClientSubmitTime, Tag::DeliveryTime, Tag::CreationTime, Tag::ModificationTime}) {
        const auto filetime = ReadFiletime(message, 0, tag, NamedLookup::Mapped, failures);
        if (!filetime || *filetime == 0)
            continue;
        const QDateTime date = FiletimeToDateTime(*filetime);
        if (date.isValid())
            return date;
    }
    return std::nullopt;
}

// HTML, plain text and RTF are read independently: one that cannot be read
// never costs the message the others.
void ReadBodies(libpff_item_t* message, int fileCodePage, MessageContent& content, ReadFailures* failures)
{
    const auto html = ReadHtmlBody(message, fileCodePage, failures);
    const auto plain = ReadPlainTextBody(message, fileCodePage, failures);
    const bool plainUsable = plain && !IsBlankUtf8(plain->utf8);
    if (plainUsable)
        content.plainBody = plain->utf8;
    if (html && !IsBlankUtf8(html->utf8)) {
        content.htmlBody = HtmlAsUtf8(html->utf8);
        content.htmlCharset = "utf-8";
        return;
    }
    const auto stored = ReadRtfBodyStored(message, failures);
    if (!stored)
        return;
    const auto rtf = DecompressRtf(*stored);
    if (!rtf || rtf->isEmpty())
        return;
    const RtfContent extracted = ExtractFromRtf(*rtf);
    switch (extracted.kind) {
    case RtfContent::Kind::Html:
        content.htmlBody = HtmlAsUtf8(extracted.text);
        content.htmlCharset = "utf-8";
        break;
    case RtfContent::Kind::Text:
        if (!plainUsable)
            content.plainBody = extracted.text.toUtf8();
        break;
    case RtfContent::Kind::Rtf:
        if (!plainUsable) {
            content.rtfText = extracted.text;
            Attachment body;
            body.fileName = QStringLiteral("body.rtf");
            body.contentType = QStringLiteral("application/rtf");
            body.data = *rtf;
            content.attachments.push_back(body);
        }
        break;
    }
}

// The message an attachment embeds, read one level deeper; what it misses is
// named as missing from the outer message too.
void ReadEmbeddedMessage(libpff_item_t* attachmentItem, const MessageReading& reading, Attachment& attachment,
                         MessageContent& content)
{
    attachment.kind = Attachment::Kind::Embedded;
    PffItem embedded;
    if (reading.depthLeft <= 0) {
        content.missing.Add(MissingEntry::Sized(MissingPart::EmbeddedTooDeep, kDeepestEmbedding));
        attachment.embedded = std::make_shared<MessageContent>();
    } else if (libpff_attachment_get_item(attachmentItem, embedded.out(), nullptr) == 1 && embedded) {
        MessageReading inner = reading;
        inner.depthLeft = reading.depthLeft - 1;
        auto read = std::make_shared<MessageContent>(ReadMessageContent(embedded.get(), inner));
        content.missing.AddWithin(read->subject, read->missing);
        attachment.embedded = std::move(read);
    } else {
        content.missing.Add(MissingEntry::OfAttachment(MissingPart::EmbeddedMessage, attachment.fileName, -1));
        attachment.embedded = std::make_shared<MessageContent>();
    }
}

void ReadAttachments(libpff_item_t* message, const MessageReading& reading, MessageContent& content)
{
    const int codePage = MessageCodePage(message, reading.fileCodePage);
    // Text attachments in neither UTF-8 nor a charset of their own were
    // written in the code page the message went out in.
    const QByteArray codePageCharset = MimeCharsetForCodePage(InternetCodePage(message, reading.fileCodePage));
    ForEachAttachment(message, content.missing, [&](PffItem& attachmentItem, int type, int index) {
        libpff_item_t* item = attachmentItem.get();
        const AttachmentDescription description = DescribeAttachment(item, index, codePage, content.missing);
        Attachment attachment;
        attachment.fileName = description.fileName;
        attachment.contentType = description.contentType;
        attachment.charset = description.charset;
        attachment.codePageCharset = codePageCharset;
        // Noted under the same words as the name and type, once.
        ReadFailures failures;
        QString contentId =
            MappedString(item, 0, Tag::AttachContentId, codePage, &failures).value_or(QString()).trimmed();
        NoteMissing(content.missing, failures, description.Missing(MissingPart::AttachmentNameOrType));
        if (contentId.startsWith(u'<') && contentId.endsWith(u'>'))
            contentId = contentId.mid(1, contentId.size() - 2);
        attachment.contentId = contentId;
        if (type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
            ReadEmbeddedMessage(item, reading, attachment, content);
        } else if (type == LIBPFF_ATTACHMENT_TYPE_REFERENCE) {
            attachment.kind = Attachment::Kind::Reference;
            ReadFailures linkFailures;
            attachment.link = AttachmentLink(item, codePage, &linkFailures);
            NoteMissing(content.missing, linkFailures, description.Missing(MissingPart::AttachmentLink));
        } else {
            attachment.kind = Attachment::Kind::Data;
            QString reason;
            if (!ReadAttachmentData(attachmentItem, reading.fileMutex, attachment, &reason)) {
                content.missing.Add(description.Missing(MissingPart::Attachment, reason));
                return;
            }
        }
        content.attachments.push_back(std::move(attachment));
    });
}

// The message status bits that say an offline cache may hold a mail's header
// alone: marked for download (0x1000), header only (0x10000), partly
// downloaded (0x80000, 0x100000). A personal folders file can carry them
// too, copied along from a cache or a server, over mails it holds whole.
bool MarkedHeaderOnly(std::optional<uint32_t> status)
{
    constexpr uint32_t kNotDownloaded = 0x00001000 | 0x00010000 | 0x00080000 | 0x00100000;
    return status && (*status & kNotDownloaded) != 0;
}

// A mail the cache holds the header of alone: marked so, and with neither a
// body nor an attachment, since a mail that holds them was downloaded after all.
bool LacksDownloadedContent(const MessageContent& content)
{
    return content.plainBody.isEmpty() && content.htmlBody.isEmpty() && content.rtfText.isEmpty()
           && content.attachments.isEmpty();
}

}  // namespace

QVector<Recipient> ReadRecipients(libpff_item_t* message, int codePage, ReadFailures* failures)
{
    QVector<Recipient> recipients;
    PffItem recipientsItem;
    const int found = libpff_message_get_recipients(message, recipientsItem.out(), nullptr);
    if (found == 0 || (found == 1 && !recipientsItem))
        return recipients;
    int sets = 0;
    if (found != 1 || libpff_item_get_number_of_record_sets(recipientsItem.get(), &sets, nullptr) != 1) {
        failures->Note(Tag::DisplayName);
        return recipients;
    }
    const AddressResolver addresses(codePage);
    for (int set = 0; set < sets; ++set) {
        Recipient recipient;
        const auto type = Read32(recipientsItem.get(), set, Tag::RecipientType, NamedLookup::Mapped, failures);
        const uint32_t kind = type.value_or(1) & 0x0F;
        recipient.kind = kind == 2 ? RecipientKind::Cc : kind == 3 ? RecipientKind::Bcc : RecipientKind::To;
        recipient.mailbox = addresses.Recipient(recipientsItem.get(), set, failures).mailbox();
        if (recipient.mailbox.name.isEmpty() && recipient.mailbox.address.isEmpty())
            continue;
        recipients.push_back(recipient);
    }
    return recipients;
}

MessageContent ReadMessageContent(libpff_item_t* message, const MessageReading& reading)
{
    MessageContent content;
    // The message's own properties are one table: when it cannot be read,
    // nothing of the message can.
    int sets = 0;
    PffRecordSet properties;
    if (libpff_item_get_number_of_record_sets(message, &sets, nullptr) != 1 || sets < 1
        || libpff_item_get_record_set_by_index(message, 0, properties.out(), nullptr) != 1) {
        content.missing.Add(MissingPart::Properties);
        return content;
    }
    const int codePage = MessageCodePage(message, reading.fileCodePage);
    ReadFailures failures;
    if (const auto subject = ReadSubject(message, reading.fileCodePage, &failures))
        content.subject = *subject;
    NoteMissing(content.missing, failures, MissingPart::Subject);
    failures = {};
    const AddressResolver addresses(codePage);
    const std::optional<ResolvedMailbox> sender = addresses.Sender(message, &failures);
    if (sender)
        content.from = sender->mailbox();
    NoteMissing(content.missing, failures, MissingPart::Sender);
    failures = {};
    content.recipients = ReadRecipients(message, codePage, &failures);
    NoteMissing(content.missing, failures, MissingPart::Recipients);
    failures = {};
    content.date = ReadDate(message, &failures);
    if (const auto delivered = ReadFiletime(message, 0, Tag::DeliveryTime, NamedLookup::Mapped, &failures))
        content.delivered = FiletimeToDateTime(*delivered);
    NoteMissing(content.missing, failures, MissingPart::Date);
    failures = {};
    content.transportHeaders = ReadMessageString(message, Tag::TransportHeaders, reading.fileCodePage,
                                                 NamedLookup::Mapped, &failures)
                                   .value_or(QString());
    NoteMissing(content.missing, failures, MissingPart::InternetHeaders);
    failures = {};
    content.headerProperties =
        ReadHeaderProperties(message, addresses, codePage, reading.fileCodePage, sender, &failures);
    NoteMissing(content.missing, failures, MissingPart::HeaderFields);
    failures = {};
    ReadBodies(message, reading.fileCodePage, content, &failures);
    NoteMissing(content.missing, failures, MissingPart::Body);
    content.state.messageFlags = Read32(message, 0, Tag::MessageFlags);
    content.state.lastVerb = Read32(message, 0, Tag::LastVerbExecuted);
    content.state.flagStatus = Read32(message, 0, Tag::FlagStatus);
    content.state.categories = content.headerProperties.keywords;
    AddMeetingCalendar(message, reading.fileCodePage, content);
    ReadAttachments(message, reading, content);
    if (reading.offlineCache && MarkedHeaderOnly(Read32(message, 0, Tag::MessageStatus))
        && LacksDownloadedContent(content))
        content.missing.Add(MissingPart::NotDownloaded);
    return content;
}

MessageContent ReadMessageContent(libpff_item_t* message, int fileCodePage, int depthLeft)
{
    MessageReading reading;
    reading.fileCodePage = fileCodePage;
    reading.depthLeft = depthLeft;
    return ReadMessageContent(message, reading);
}

int CountEmbeddedMessages(const MessageContent& content)
{
    int count = 0;
    for (const Attachment& attachment : content.attachments) {
        if (attachment.kind == Attachment::Kind::Embedded) {
            ++count;
            if (attachment.embedded)
                count += CountEmbeddedMessages(*attachment.embedded);
        }
    }
    return count;
}

}  // namespace tolvane
