// Reading a whole message through libpff into a MessageContent.
#include "MailboxReader.h"

#include "ItemLocator.h"
#include "PffProperties.h"
#include "RtfBody.h"
#include "TextDecoding.h"
#include "TimeText.h"

#include <QLocale>
#include <QRegularExpression>

namespace tolvane {

namespace {

namespace Tag {
constexpr uint32_t Subject = 0x0037;
constexpr uint32_t ClientSubmitTime = 0x0039;
constexpr uint32_t SentRepresentingName = 0x0042;
constexpr uint32_t SentRepresentingAddressType = 0x0064;
constexpr uint32_t SentRepresentingAddress = 0x0065;
constexpr uint32_t TransportHeaders = 0x007D;
constexpr uint32_t RecipientType = 0x0C15;
constexpr uint32_t SenderName = 0x0C1A;
constexpr uint32_t SenderAddressType = 0x0C1E;
constexpr uint32_t SenderAddress = 0x0C1F;
constexpr uint32_t DeliveryTime = 0x0E06;
constexpr uint32_t DisplayName = 0x3001;
constexpr uint32_t AddressType = 0x3002;
constexpr uint32_t EmailAddress = 0x3003;
constexpr uint32_t CreationTime = 0x3007;
constexpr uint32_t ModificationTime = 0x3008;
constexpr uint32_t AttachFileName = 0x3704;
constexpr uint32_t AttachPathName = 0x3708;
constexpr uint32_t AttachLongPathName = 0x370D;
constexpr uint32_t AttachLongFileName = 0x3707;
constexpr uint32_t AttachMimeTag = 0x370E;
constexpr uint32_t AttachContentId = 0x3712;
constexpr uint32_t RecipientSmtpAddress = 0x39FE;
constexpr uint32_t SenderSmtpAddress = 0x5D01;
constexpr uint32_t SentRepresentingSmtpAddress = 0x5D02;
constexpr uint32_t Email1Address = 0x8083;
constexpr uint32_t Email2Address = 0x8093;
constexpr uint32_t Email3Address = 0x80A3;
}  // namespace Tag

// The HTML is written as UTF-8; a charset its meta tags declare would now be wrong.
QByteArray HtmlAsUtf8(const QString& html)
{
    static const QRegularExpression declared(
        QStringLiteral("(<meta[^>]*charset\\s*=\\s*[\"']?)([A-Za-z0-9_.:-]+)"),
        QRegularExpression::CaseInsensitiveOption);
    QString text = html;
    text.replace(declared, QStringLiteral("\\1utf-8"));
    return text.toUtf8();
}

bool IsBlank(const QString& text)
{
    for (QChar c : text) {
        if (!c.isSpace() && c != QChar(0))
            return false;
    }
    return true;
}

// Exchange-internal addresses ("EX" type, X.500 "/O=...") give way to the
// SMTP address the message also holds.
QString PreferSmtp(const QString& address, const QString& addressType, const std::optional<QString>& smtp)
{
    const bool internal = addressType.compare(QLatin1String("EX"), Qt::CaseInsensitive) == 0
                          || address.startsWith(QLatin1String("/o="), Qt::CaseInsensitive)
                          || !address.contains(u'@');
    if (internal && smtp && !IsBlank(*smtp))
        return smtp->trimmed();
    return address;
}

std::optional<QString> String(libpff_item_t* item, int set, uint32_t tag, int codePage)
{
    return ReadString(item, set, tag, codePage);
}

std::optional<MailAddress> ReadSender(libpff_item_t* message, int codePage)
{
    auto read = [&](uint32_t nameTag, uint32_t addressTag, uint32_t typeTag,
                    uint32_t smtpTag) -> std::optional<MailAddress> {
        const auto name = String(message, 0, nameTag, codePage);
        const auto address = String(message, 0, addressTag, codePage);
        const auto smtp = String(message, 0, smtpTag, codePage);
        if (!name && !address && !smtp)
            return std::nullopt;
        MailAddress mailbox;
        mailbox.name = name.value_or(QString()).trimmed();
        mailbox.address = PreferSmtp(address.value_or(QString()).trimmed(),
                                     String(message, 0, typeTag, codePage).value_or(QString()), smtp);
        if (mailbox.name.isEmpty() && mailbox.address.isEmpty())
            return std::nullopt;
        return mailbox;
    };
    if (auto sender = read(Tag::SenderName, Tag::SenderAddress, Tag::SenderAddressType, Tag::SenderSmtpAddress))
        return sender;
    return read(Tag::SentRepresentingName, Tag::SentRepresentingAddress, Tag::SentRepresentingAddressType,
                Tag::SentRepresentingSmtpAddress);
}

QVector<Recipient> ReadRecipients(libpff_item_t* message, int codePage)
{
    QVector<Recipient> recipients;
    PffItem recipientsItem;
    if (libpff_message_get_recipients(message, recipientsItem.out(), nullptr) != 1 || !recipientsItem)
        return recipients;
    int sets = 0;
    if (libpff_item_get_number_of_record_sets(recipientsItem.get(), &sets, nullptr) != 1)
        return recipients;
    for (int set = 0; set < sets; ++set) {
        Recipient recipient;
        const auto type = Read32(recipientsItem.get(), set, Tag::RecipientType);
        const uint32_t kind = type.value_or(1) & 0x0F;
        recipient.kind = kind == 2 ? RecipientKind::Cc : kind == 3 ? RecipientKind::Bcc : RecipientKind::To;
        recipient.mailbox.name = String(recipientsItem.get(), set, Tag::DisplayName, codePage).value_or(QString()).trimmed();
        recipient.mailbox.address =
            PreferSmtp(String(recipientsItem.get(), set, Tag::EmailAddress, codePage).value_or(QString()).trimmed(),
                       String(recipientsItem.get(), set, Tag::AddressType, codePage).value_or(QString()),
                       String(recipientsItem.get(), set, Tag::RecipientSmtpAddress, codePage));
        if (recipient.mailbox.name.isEmpty() && recipient.mailbox.address.isEmpty())
            continue;
        recipients.push_back(recipient);
    }
    return recipients;
}

std::optional<QDateTime> ReadDate(libpff_item_t* message)
{
    for (uint32_t tag : {Tag::ClientSubmitTime, Tag::DeliveryTime, Tag::CreationTime, Tag::ModificationTime}) {
        const auto filetime = ReadFiletime(message, 0, tag);
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
void ReadBodies(libpff_item_t* message, int fileCodePage, MessageContent& content)
{
    const auto html = ReadHtmlBody(message, fileCodePage);
    const auto plain = ReadPlainTextBody(message, fileCodePage);
    const bool plainUsable = plain && !IsBlank(plain->text());
    if (plainUsable)
        content.plainBody = plain->utf8;
    const QString htmlText = html ? html->text() : QString();
    if (!IsBlank(htmlText)) {
        content.htmlBody = HtmlAsUtf8(htmlText);
        content.htmlCharset = "utf-8";
        return;
    }
    const auto stored = ReadRtfBodyStored(message);
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
            Attachment body;
            body.fileName = QStringLiteral("body.rtf");
            body.contentType = QStringLiteral("application/rtf");
            body.data = *rtf;
            content.attachments.push_back(body);
        }
        break;
    }
}

QByteArray ReadAttachmentData(libpff_item_t* attachment)
{
    size64_t size = 0;
    if (libpff_attachment_get_data_size(attachment, &size, nullptr) != 1 || size == 0
        || size > static_cast<size64_t>(0x7FFFFFFF))
        return QByteArray();
    QByteArray data(static_cast<qsizetype>(size), Qt::Uninitialized);
    if (libpff_attachment_data_seek_offset(attachment, 0, SEEK_SET, nullptr) < 0)
        return QByteArray();
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t read = libpff_attachment_data_read_buffer(
            attachment, reinterpret_cast<uint8_t*>(data.data() + done), static_cast<size_t>(data.size() - done),
            nullptr);
        if (read <= 0)
            break;
        done += read;
    }
    data.truncate(done);
    return data;
}

void ReadAttachments(libpff_item_t* message, int fileCodePage, int depthLeft, MessageContent& content)
{
    int count = 0;
    if (libpff_message_get_number_of_attachments(message, &count, nullptr) != 1)
        return;
    const int codePage = MessageCodePage(message, fileCodePage);
    for (int index = 0; index < count; ++index) {
        PffItem attachmentItem;
        if (libpff_message_get_attachment(message, index, attachmentItem.out(), nullptr) != 1 || !attachmentItem)
            continue;
        libpff_item_t* item = attachmentItem.get();
        int type = 0;
        if (libpff_attachment_get_type(item, &type, nullptr) != 1)
            continue;
        Attachment attachment;
        attachment.fileName = String(item, 0, Tag::AttachLongFileName, codePage)
                                  .value_or(String(item, 0, Tag::AttachFileName, codePage)
                                                .value_or(String(item, 0, Tag::DisplayName, codePage).value_or(QString())))
                                  .trimmed();
        attachment.contentType = String(item, 0, Tag::AttachMimeTag, codePage).value_or(QString()).trimmed();
        QString contentId = String(item, 0, Tag::AttachContentId, codePage).value_or(QString()).trimmed();
        if (contentId.startsWith(u'<') && contentId.endsWith(u'>'))
            contentId = contentId.mid(1, contentId.size() - 2);
        attachment.contentId = contentId;
        if (type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
            attachment.kind = Attachment::Kind::Embedded;
            PffItem embedded;
            if (depthLeft > 0 && libpff_attachment_get_item(item, embedded.out(), nullptr) == 1 && embedded)
                attachment.embedded = std::make_shared<MessageContent>(
                    ReadMessageContent(embedded.get(), fileCodePage, depthLeft - 1));
            else
                attachment.embedded = std::make_shared<MessageContent>();
        } else if (type == LIBPFF_ATTACHMENT_TYPE_REFERENCE) {
            attachment.kind = Attachment::Kind::Reference;
            attachment.link = String(item, 0, Tag::AttachLongPathName, codePage)
                                  .value_or(String(item, 0, Tag::AttachPathName, codePage).value_or(QString()));
        } else {
            attachment.kind = Attachment::Kind::Data;
            attachment.data = ReadAttachmentData(item);
        }
        content.attachments.push_back(attachment);
    }
}

}  // namespace

QString SubjectWithoutPrefixMarker(const QString& stored)
{
    if (stored.size() >= 2 && stored.at(0) == QChar(0x01))
        return stored.mid(2);
    return stored;
}

MessageContent ReadMessageContent(libpff_item_t* message, int fileCodePage, int depthLeft)
{
    MessageContent content;
    const int codePage = MessageCodePage(message, fileCodePage);
    if (const auto subject = ReadMessageString(message, Tag::Subject, fileCodePage))
        content.subject = SubjectWithoutPrefixMarker(*subject);
    content.from = ReadSender(message, codePage);
    content.recipients = ReadRecipients(message, codePage);
    content.date = ReadDate(message);
    content.transportHeaders = ReadMessageString(message, Tag::TransportHeaders, fileCodePage).value_or(QString());
    ReadBodies(message, fileCodePage, content);
    ReadAttachments(message, fileCodePage, depthLeft, content);
    return content;
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

MessageContent ContentFromRecord(const MailRecord& record)
{
    MessageContent content;
    const QString name = record.senderName.isNull() ? QString() : record.senderName;
    const QString address = record.senderAddress.isNull() ? QString() : record.senderAddress;
    if (!name.isEmpty() || !address.isEmpty())
        content.from = MailAddress{name, address};
    for (const QString& part : record.recipients.split(QStringLiteral(" ;"), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            content.recipients.push_back(Recipient{RecipientKind::To, MailAddress{part.trimmed(), QString()}});
    }
    content.subject = record.subject;
    // The record's time text is fixed English UTC text; read it with the C locale.
    const QString timeText = record.creationTime != QLatin1String("None") ? record.creationTime
                                                                          : record.modificationTime;
    QDateTime date = QLocale::c().toDateTime(timeText, QStringLiteral("MMM dd, yyyy HH:mm:ss"));
    if (date.isValid()) {
        date.setTimeSpec(Qt::UTC);
        content.date = date;
    }
    const QString body = record.body.text();
    if (record.bodyKind == 2) {
        content.htmlBody = body.toUtf8();
        content.htmlCharset = "utf-8";
    } else {
        content.plainBody = body.toUtf8();
    }
    return content;
}

bool MailboxReader::Open(const QString& pstPath, QString* error)
{
    PffError pffError;
    if (!file_.initialize() || !file_.setAsciiCodepage(kDefaultCodePage) || !file_.open(pstPath, &pffError)) {
        if (error)
            *error = pffError ? pffError.message() : QStringLiteral("cannot open %1").arg(pstPath);
        file_.reset();
        return false;
    }
    PffItem root;
    if (libpff_file_get_root_folder(file_.get(), root.out(), nullptr) == 1 && root) {
        std::vector<int> path;
        IndexItems(root.get(), path, 64);
    }
    return true;
}

void MailboxReader::IndexItems(libpff_item_t* folder, std::vector<int>& path, int depthLeft)
{
    const int folderIndex = static_cast<int>(folderPaths_.size());
    folderPaths_.push_back(path);
    int items = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &items, nullptr) == 1) {
        for (int index = 0; index < items; ++index) {
            PffItem item;
            uint32_t identifier = 0;
            if (libpff_folder_get_sub_message(folder, index, item.out(), nullptr) == 1 && item
                && libpff_item_get_identifier(item.get(), &identifier, nullptr) == 1)
                positions_.emplace(identifier, ItemPosition{folderIndex, index});
        }
    }
    if (depthLeft <= 0)
        return;
    int folders = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) != 1)
        return;
    for (int index = 0; index < folders; ++index) {
        PffItem sub;
        if (libpff_folder_get_sub_folder(folder, index, sub.out(), nullptr) != 1 || !sub)
            continue;
        path.push_back(index);
        IndexItems(sub.get(), path, depthLeft - 1);
        path.pop_back();
    }
}

libpff_item_t* MailboxReader::FindTopLevelItem(uint32_t identifier, PffItem& holder)
{
    const auto found = positions_.find(identifier);
    if (found != positions_.end()) {
        const ItemPosition position = found->second;
        if (cachedFolder_ != position.folder) {
            cachedFolderItem_.reset();
            cachedFolder_ = -1;
            PffItem current;
            bool ok = libpff_file_get_root_folder(file_.get(), current.out(), nullptr) == 1 && current;
            for (int index : folderPaths_[position.folder]) {
                if (!ok)
                    break;
                PffItem sub;
                ok = libpff_folder_get_sub_folder(current.get(), index, sub.out(), nullptr) == 1 && sub;
                current = std::move(sub);
            }
            if (ok) {
                cachedFolderItem_ = std::move(current);
                cachedFolder_ = position.folder;
            }
        }
        if (cachedFolderItem_
            && libpff_folder_get_sub_message(cachedFolderItem_.get(), position.index, holder.out(), nullptr) == 1
            && holder) {
            uint32_t check = 0;
            if (libpff_item_get_identifier(holder.get(), &check, nullptr) == 1 && check == identifier)
                return holder.get();
        }
    }
    // Not found by the walk: ask libpff directly.
    if (libpff_file_get_item_by_identifier(file_.get(), identifier, holder.out(), nullptr) == 1 && holder)
        return holder.get();
    return nullptr;
}

std::optional<MessageContent> MailboxReader::ReadMessage(const ItemLocation& location)
{
    if (!file_.isOpen() || location.itemIdentifier == 0)
        return std::nullopt;
    if (!location.isEmbedded()) {
        PffItem holder;
        libpff_item_t* item = FindTopLevelItem(location.itemIdentifier, holder);
        if (!item)
            return std::nullopt;
        return ReadMessageContent(item, file_.asciiCodepage());
    }
    LocatedItem located = LocateItem(file_.get(), location);
    if (!located)
        return std::nullopt;
    return ReadMessageContent(located.item(), file_.asciiCodepage());
}

QStringList MailboxReader::ReadContactEmails(const ItemLocation& location)
{
    QStringList emails;
    if (!file_.isOpen() || location.itemIdentifier == 0 || location.isEmbedded())
        return emails;
    PffItem holder;
    libpff_item_t* item = FindTopLevelItem(location.itemIdentifier, holder);
    if (!item)
        return emails;
    const int codePage = MessageCodePage(item, file_.asciiCodepage());
    for (uint32_t tag : {Tag::Email1Address, Tag::Email2Address, Tag::Email3Address}) {
        const auto address = ReadString(item, 0, tag, codePage);
        if (address && !IsBlank(*address))
            emails.push_back(address->trimmed());
    }
    return emails;
}

}  // namespace tolvane
