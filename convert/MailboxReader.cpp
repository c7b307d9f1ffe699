// Reading a whole message through libpff into a MessageContent.
#include "convert/MailboxReader.h"

#include "convert/BodyText.h"
#include "convert/CalendarWriter.h"
#include "convert/EntryIdAddress.h"
#include "convert/MimeComposer.h"
#include "convert/RtfBody.h"
#include "scan/ItemLocator.h"
#include "scan/Limits.h"
#include "scan/NativePath.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"
#include "scan/RecordText.h"
#include "scan/TextDecoding.h"
#include "scan/TimeText.h"

#include <QFile>
#include <QUrl>

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

namespace {

namespace Tag = PropertyTag;

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

// The project's libpff finds an item by its identifier from an index, in
// constant time; Debian's walks its item tree for every look-up, so with it
// one walk of every folder at the start records where each item sits. The
// walk also holds each folder's table of items (hundreds of megabytes for a
// folder of a hundred thousand mails) in every handle that uses it.
#if defined(TOLVANE_LIBPFF_IDENTIFIER_INDEX)
constexpr bool kLookUpByIdentifier = true;
#else
constexpr bool kLookUpByIdentifier = false;
#endif

// Attachments up to this size are read whole with their message; larger ones
// are streamed from the mailbox into the file while it is written, so memory
// stays bounded whatever the attachment's size.

// What a message lacks when not even its own properties can be read: nothing
// of it is then written.
constexpr const char* kUnreadableProperties = "the message's properties (subject, sender, date, body)";

// How a reading pass notes what it could not read, so the message is never
// passed off as complete.
struct ReadContext {
    int fileCodePage = kDefaultCodePage;
    std::recursive_mutex* fileMutex = nullptr;  // guards the libpff file; held by whoever reads the message
    int depthLeft = kDeepestEmbedding;
};

QString Quoted(const QString& name)
{
    return name.isEmpty() ? QString() : QStringLiteral(" \"%1\"").arg(name);
}

void NoteMissing(QStringList& missing, const ReadFailures& failures, const QString& what)
{
    if (!failures.empty() && !missing.contains(what))
        missing.push_back(what);
}

std::optional<QString> String(libpff_item_t* item, int set, uint32_t tag, int codePage, ReadFailures* failures = nullptr)
{
    return ReadString(item, set, tag, codePage, NamedLookup::Mapped, failures);
}

// Properties read the same way for every kind of item.

std::optional<QDateTime> TimeOf(libpff_item_t* item, uint32_t tag)
{
    const auto ticks = ReadFiletime(item, 0, tag);
    if (!ticks || *ticks == 0)
        return std::nullopt;
    const QDateTime time = FiletimeToDateTime(*ticks);
    return time.isValid() ? std::optional<QDateTime>(time) : std::nullopt;
}

// A task's days are kept as midnight of the day itself, written as UTC.
std::optional<QDate> DayOf(libpff_item_t* item, uint32_t tag)
{
    const auto time = TimeOf(item, tag);
    return time ? std::optional<QDate>(time->toUTC().date()) : std::nullopt;
}

// The categories (the "Keywords" named property), blank ones left out.
QStringList Categories(libpff_item_t* item, int codePage, ReadFailures* failures = nullptr)
{
    QStringList categories;
    if (const auto keywords = ReadNamedProperty(item, 0, kKeywordsProperty, failures)) {
        for (const QString& keyword : DecodeMultiStringValue(*keywords, codePage)) {
            if (!IsBlank(keyword))
                categories << keyword.trimmed();
        }
    }
    return categories;
}

// The plain body as calendar and card text: one kind of line break ("\n"),
// no trailing white space; null when blank.
QString PlainText(libpff_item_t* item, int fileCodePage)
{
    const auto plain = ReadPlainTextBody(item, fileCodePage);
    if (!plain || IsBlankUtf8(plain->utf8))
        return QString();
    QString text = QString::fromUtf8(plain->utf8).replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    while (!text.isEmpty() && text.back().isSpace())
        text.chop(1);
    return text;
}

// nullopt when the item does not say.
std::optional<HeaderProperties::Sensitivity> SensitivityOf(libpff_item_t* item, ReadFailures* failures = nullptr)
{
    const auto value = Read32(item, 0, Tag::Sensitivity, NamedLookup::Mapped, failures);
    if (!value)
        return std::nullopt;
    switch (*value) {
    case 1: return HeaderProperties::Sensitivity::Personal;
    case 2: return HeaderProperties::Sensitivity::Private;
    case 3: return HeaderProperties::Sensitivity::Confidential;
    default: return HeaderProperties::Sensitivity::None;
    }
}

std::optional<HeaderProperties::Importance> ImportanceOf(libpff_item_t* item, ReadFailures* failures = nullptr)
{
    const auto importance = Read32(item, 0, Tag::Importance, NamedLookup::Mapped, failures);
    if (!importance)
        return std::nullopt;
    const auto value = static_cast<int32_t>(*importance);
    return value <= 0 ? HeaderProperties::Importance::Low
           : value == 1 ? HeaderProperties::Importance::Normal
                        : HeaderProperties::Importance::High;
}

std::optional<MailAddress> ReadSender(libpff_item_t* message, int codePage, ReadFailures* failures)
{
    auto read = [&](uint32_t nameTag, uint32_t addressTag, uint32_t typeTag, uint32_t smtpTag,
                    uint32_t entryIdTag) -> std::optional<MailAddress> {
        const auto name = String(message, 0, nameTag, codePage, failures);
        const auto address = String(message, 0, addressTag, codePage, failures);
        const auto smtp = String(message, 0, smtpTag, codePage, failures);
        if (!name && !address && !smtp)
            return std::nullopt;
        MailAddress mailbox;
        mailbox.name = name.value_or(QString()).trimmed();
        mailbox.address = PreferSmtp(address.value_or(QString()).trimmed(),
                                     String(message, 0, typeTag, codePage, failures).value_or(QString()), smtp);
        if (!LooksLikeSmtpAddress(mailbox.address)) {
            // As for recipients: an address typed by hand travels in the
            // entry identifier; else a name that is an address stands alone.
            const auto entryId = ReadBinary(message, 0, entryIdTag, NamedLookup::Mapped, failures);
            const auto oneOff = entryId ? ParseOneOffEntryId(*entryId, codePage) : std::nullopt;
            if (oneOff && oneOff->addressType.compare(QLatin1String("SMTP"), Qt::CaseInsensitive) == 0
                && LooksLikeSmtpAddress(oneOff->address))
                mailbox.address = oneOff->address;
            else if (IsAddrSpec(mailbox.name))
                mailbox = MailAddress{QString(), mailbox.name};
        }
        if (mailbox.name.isEmpty() && mailbox.address.isEmpty())
            return std::nullopt;
        return mailbox;
    };
    if (auto sender = read(Tag::SenderName, Tag::SenderAddress, Tag::SenderAddressType, Tag::SenderSmtpAddress,
                           Tag::SenderEntryId))
        return sender;
    return read(Tag::SentRepresentingName, Tag::SentRepresentingAddress, Tag::SentRepresentingAddressType,
                Tag::SentRepresentingSmtpAddress, Tag::SentRepresentingEntryId);
}

// The address of one row of the recipients table, from the first source
// that holds a usable one: the SMTP address, the e-mail address when it is
// of SMTP type, an address carried in the row's entry identifiers, and last
// a display name that is an address itself (which then stands alone, without
// a name). Without any of these the row keeps its name and the address it
// has, which is written as a name alone.
MailAddress RecipientMailbox(libpff_item_t* recipients, int set, int codePage, ReadFailures* failures)
{
    MailAddress mailbox;
    mailbox.name = String(recipients, set, Tag::DisplayName, codePage, failures).value_or(QString()).trimmed();
    const QString address = String(recipients, set, Tag::EmailAddress, codePage, failures).value_or(QString()).trimmed();
    const QString addressType = String(recipients, set, Tag::AddressType, codePage, failures).value_or(QString()).trimmed();
    const QString smtp =
        String(recipients, set, Tag::RecipientSmtpAddress, codePage, failures).value_or(QString()).trimmed();
    if (LooksLikeSmtpAddress(smtp)) {
        mailbox.address = smtp;
        return mailbox;
    }
    const bool internal = addressType.compare(QLatin1String("EX"), Qt::CaseInsensitive) == 0
                          || address.startsWith(QLatin1String("/o="), Qt::CaseInsensitive);
    if (!internal && LooksLikeSmtpAddress(address)) {
        mailbox.address = address;
        return mailbox;
    }
    for (uint32_t tag : {Tag::RecipientEntryId, Tag::EntryId}) {
        const auto entryId = ReadBinary(recipients, set, tag, NamedLookup::Mapped, failures);
        const auto oneOff = entryId ? ParseOneOffEntryId(*entryId, codePage) : std::nullopt;
        if (oneOff && oneOff->addressType.compare(QLatin1String("SMTP"), Qt::CaseInsensitive) == 0
            && LooksLikeSmtpAddress(oneOff->address)) {
            mailbox.address = oneOff->address;
            if (mailbox.name.isEmpty())
                mailbox.name = oneOff->displayName;
            return mailbox;
        }
    }
    if (IsAddrSpec(mailbox.name)) {
        mailbox.address = mailbox.name;
        mailbox.name.clear();
        return mailbox;
    }
    mailbox.address = address;
    return mailbox;
}

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
    for (int set = 0; set < sets; ++set) {
        Recipient recipient;
        const auto type = Read32(recipientsItem.get(), set, Tag::RecipientType, NamedLookup::Mapped, failures);
        const uint32_t kind = type.value_or(1) & 0x0F;
        recipient.kind = kind == 2 ? RecipientKind::Cc : kind == 3 ? RecipientKind::Bcc : RecipientKind::To;
        recipient.mailbox = RecipientMailbox(recipientsItem.get(), set, codePage, failures);
        if (recipient.mailbox.name.isEmpty() && recipient.mailbox.address.isEmpty())
            continue;
        recipients.push_back(recipient);
    }
    return recipients;
}

// The reply-to recipients: the addresses of the stored entry list, and where
// an entry holds none, the matching name of the stored names when that name
// is an address itself.
QVector<MailAddress> ReadReplyTo(libpff_item_t* message, int codePage, ReadFailures* failures)
{
    QVector<MailAddress> replyTo;
    const auto entries = ReadBinary(message, 0, Tag::ReplyRecipientEntries, NamedLookup::Mapped, failures);
    const QStringList names = String(message, 0, Tag::ReplyRecipientNames, codePage, failures)
                                  .value_or(QString())
                                  .split(u';', Qt::SkipEmptyParts);
    const QVector<QByteArray> ids = entries ? SplitFlatEntryList(*entries) : QVector<QByteArray>();
    for (qsizetype n = 0; n < std::max(ids.size(), names.size()); ++n) {
        const QString name = n < names.size() ? names.at(n).trimmed() : QString();
        const auto oneOff = n < ids.size() ? ParseOneOffEntryId(ids.at(n), codePage) : std::nullopt;
        if (oneOff && LooksLikeSmtpAddress(oneOff->address)
            && oneOff->addressType.compare(QLatin1String("EX"), Qt::CaseInsensitive) != 0)
            replyTo.push_back(MailAddress{oneOff->displayName.isEmpty() ? name : oneOff->displayName, oneOff->address});
        else if (IsAddrSpec(name))
            replyTo.push_back(MailAddress{QString(), name});
    }
    return replyTo;
}

HeaderProperties ReadHeaderProperties(libpff_item_t* message, int codePage, int fileCodePage,
                                      const std::optional<MailAddress>& sender, ReadFailures* failures)
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
    fields.replyTo = ReadReplyTo(message, codePage, failures);
    if (ReadBoolean(message, 0, Tag::ReadReceiptRequested, NamedLookup::Mapped, failures).value_or(false)) {
        // The receipt goes back to the sender.
        if (sender && LooksLikeSmtpAddress(sender->address))
            fields.readReceiptTo = *sender;
        else if (const QString address = text(Tag::ReadReceiptSmtpAddress); LooksLikeSmtpAddress(address))
            fields.readReceiptTo = MailAddress{QString(), address};
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

// Reads exactly `size` bytes of attachment data from the current position;
// anything less is a failure, never a shorter attachment.
bool ReadAttachmentBytes(libpff_item_t* attachment, char* buffer, qint64 size, QString* reason)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t read = libpff_attachment_data_read_buffer(
            attachment, reinterpret_cast<uint8_t*>(buffer + done), static_cast<size_t>(size - done), nullptr);
        if (read <= 0) {
            *reason = QStringLiteral("its data ends after %1 of %2 bytes").arg(done).arg(size);
            return false;
        }
        done += read;
    }
    return true;
}

// An attachment's data read from the mailbox chunk by chunk while its file is
// written. The libpff file is shared with the mail pass's reading thread, so
// every call into libpff holds the file's lock.
class PffAttachmentSource : public AttachmentSource {
public:
    PffAttachmentSource(PffItem attachment, qint64 size, std::recursive_mutex* fileMutex)
        : attachment_(std::move(attachment)), size_(size), fileMutex_(fileMutex)
    {
    }
    ~PffAttachmentSource() override
    {
        std::lock_guard lock(*fileMutex_);
        attachment_.reset();
    }
    qint64 size() const override { return size_; }
    bool Rewind() override
    {
        std::lock_guard lock(*fileMutex_);
        position_ = 0;
        if (libpff_attachment_data_seek_offset(attachment_.get(), 0, SEEK_SET, nullptr) < 0) {
            failure_ = QStringLiteral("its data cannot be read");
            return false;
        }
        return true;
    }
    qint64 Read(char* buffer, qint64 capacity) override
    {
        std::lock_guard lock(*fileMutex_);
        const qint64 wanted = std::min(capacity, size_ - position_);
        if (wanted <= 0)
            return 0;
        if (position_ == 0 && libpff_attachment_data_seek_offset(attachment_.get(), 0, SEEK_SET, nullptr) < 0) {
            failure_ = QStringLiteral("its data cannot be read");
            return -1;
        }
        QString shortRead;  // counts within this chunk; the failure below counts from the start
        if (!ReadAttachmentBytes(attachment_.get(), buffer, wanted, &shortRead)) {
            failure_ = QStringLiteral("its data ends after %1 of %2 bytes").arg(position_).arg(size_);
            return -1;
        }
        position_ += wanted;
        reachedEnd_ = reachedEnd_ || position_ == size_;
        return wanted;
    }
    QString failure() const override
    {
        std::lock_guard lock(*fileMutex_);
        return failure_;
    }
    bool readWhole() const override
    {
        std::lock_guard lock(*fileMutex_);
        return failure_.isEmpty() && reachedEnd_;
    }

private:
    PffItem attachment_;
    const qint64 size_;
    std::recursive_mutex* const fileMutex_;
    qint64 position_ = 0;
    bool reachedEnd_ = false;  // a pass read every byte (the writer may rewind afterwards)
    QString failure_;
};

// The attachment's data: in memory when small, else a source that streams it.
// False (reason in *reason) when the data cannot be read in full.
bool ReadAttachmentData(PffItem& attachmentItem, const ReadContext& context, Attachment& attachment,
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
    if (size > kInMemoryAttachmentLimit && context.fileMutex != nullptr) {
        attachment.source = std::make_shared<PffAttachmentSource>(std::move(attachmentItem),
                                                                  static_cast<qint64>(size), context.fileMutex);
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

MessageContent ReadMessageContentIn(libpff_item_t* message, const ReadContext& context);

// The name an attachment goes by: its long file name, else its short one,
// else its display name.
QString AttachmentFileName(libpff_item_t* attachment, int codePage, ReadFailures* failures)
{
    return String(attachment, 0, Tag::AttachLongFilename, codePage, failures)
        .value_or(String(attachment, 0, Tag::AttachFilename, codePage, failures)
                      .value_or(String(attachment, 0, Tag::DisplayName, codePage, failures).value_or(QString())))
        .trimmed();
}

// Where a linked attachment's file lives, as the link was made.
QString AttachmentLink(libpff_item_t* attachment, int codePage, ReadFailures* failures)
{
    return String(attachment, 0, Tag::AttachLongPathname, codePage, failures)
        .value_or(String(attachment, 0, Tag::AttachPathname, codePage, failures).value_or(QString()));
}

// How a note of what is missing names an attachment.
QString AttachmentLabel(const QString& fileName, int index)
{
    return fileName.isEmpty() ? QStringLiteral("attachment %1").arg(index + 1)
                              : QStringLiteral("attachment") + Quoted(fileName);
}

// Calls `read` with every attachment of `message` and its kind. What cannot
// be read (the attachment table, or one attachment and its kind) goes into
// `missing` instead.
void ForEachAttachment(libpff_item_t* message, QStringList& missing,
                       const std::function<void(PffItem& attachment, int type, int index)>& read)
{
    int count = 0;
    if (libpff_message_get_number_of_attachments(message, &count, nullptr) != 1) {
        missing.push_back(QStringLiteral("the attachments"));
        return;
    }
    // libpff answers "none" when it cannot read a message's attachment table
    // at all (short of memory, say); the message's own flag tells the truth.
    if (count == 0 && (Read32(message, 0, Tag::MessageFlags).value_or(0) & kMessageFlagHasAttachments) != 0) {
        missing.push_back(QStringLiteral("the attachments"));
        return;
    }
    for (int index = 0; index < count; ++index) {
        PffItem attachmentItem;
        int type = 0;
        if (libpff_message_get_attachment(message, index, attachmentItem.out(), nullptr) != 1 || !attachmentItem
            || libpff_attachment_get_type(attachmentItem.get(), &type, nullptr) != 1) {
            missing.push_back(AttachmentLabel(QString(), index));
            continue;
        }
        read(attachmentItem, type, index);
    }
}

void ReadAttachments(libpff_item_t* message, const ReadContext& context, MessageContent& content)
{
    const int codePage = MessageCodePage(message, context.fileCodePage);
    const qsizetype missingBefore = content.missing.size();
    ForEachAttachment(message, content.missing, [&](PffItem& attachmentItem, int type, int index) {
        libpff_item_t* item = attachmentItem.get();
        ReadFailures failures;
        Attachment attachment;
        attachment.fileName = AttachmentFileName(item, codePage, &failures);
        attachment.contentType =
            String(item, 0, Tag::AttachMimeTag, codePage, &failures).value_or(QString()).trimmed();
        QString contentId = String(item, 0, Tag::AttachContentId, codePage, &failures).value_or(QString()).trimmed();
        if (contentId.startsWith(u'<') && contentId.endsWith(u'>'))
            contentId = contentId.mid(1, contentId.size() - 2);
        attachment.contentId = contentId;
        const QString label = AttachmentLabel(attachment.fileName, index);
        NoteMissing(content.missing, failures, label + QStringLiteral(" (its name or type)"));
        if (type == LIBPFF_ATTACHMENT_TYPE_ITEM) {
            attachment.kind = Attachment::Kind::Embedded;
            PffItem embedded;
            if (context.depthLeft <= 0) {
                content.missing.push_back(QStringLiteral("an embedded message nested deeper than %1 levels")
                                              .arg(kDeepestEmbedding));
                attachment.embedded = std::make_shared<MessageContent>();
            } else if (libpff_attachment_get_item(item, embedded.out(), nullptr) == 1 && embedded) {
                ReadContext inner = context;
                inner.depthLeft = context.depthLeft - 1;
                auto read = std::make_shared<MessageContent>(ReadMessageContentIn(embedded.get(), inner));
                for (const QString& missing : read->missing)
                    content.missing.push_back(QStringLiteral("in the embedded message%1: %2")
                                                  .arg(Quoted(read->subject), missing));
                attachment.embedded = std::move(read);
            } else {
                content.missing.push_back(QStringLiteral("the embedded message") + Quoted(attachment.fileName));
                attachment.embedded = std::make_shared<MessageContent>();
            }
        } else if (type == LIBPFF_ATTACHMENT_TYPE_REFERENCE) {
            attachment.kind = Attachment::Kind::Reference;
            ReadFailures linkFailures;
            attachment.link = AttachmentLink(item, codePage, &linkFailures);
            NoteMissing(content.missing, linkFailures, label + QStringLiteral(" (where the linked file lives)"));
        } else {
            attachment.kind = Attachment::Kind::Data;
            QString reason;
            if (!ReadAttachmentData(attachmentItem, context, attachment, &reason)) {
                content.missing.push_back(label + QStringLiteral(": ") + reason);
                return;
            }
        }
        content.attachments.push_back(std::move(attachment));
    });
    content.attachmentsIncomplete = content.missing.size() > missingBefore;
}

AppointmentContent ReadAppointmentContent(libpff_item_t* item, uint32_t identifier, int fileCodePage);

// A meeting request, cancellation or response carries the meeting: its
// calendar (with the method that says what the message does) goes into the
// message beside its text.
void ReadMeetingCalendar(libpff_item_t* message, const ReadContext& context, MessageContent& content)
{
    const QString messageClass =
        ReadMessageString(message, Tag::MessageClass, context.fileCodePage).value_or(QString()).trimmed();
    static const QLatin1String prefix("IPM.Schedule.Meeting.");
    if (!messageClass.startsWith(prefix, Qt::CaseInsensitive))
        return;
    const QString kind = messageClass.mid(prefix.size());
    CalendarItems items;
    uint32_t identifier = 0;
    libpff_item_get_identifier(message, &identifier, nullptr);
    AppointmentContent meeting = ReadAppointmentContent(message, identifier, context.fileCodePage);
    if (kind.startsWith(QLatin1String("Request"), Qt::CaseInsensitive)) {
        items.method = CalendarItems::Method::Request;
        content.meetingMethod = "REQUEST";
    } else if (kind.startsWith(QLatin1String("Canceled"), Qt::CaseInsensitive)) {
        items.method = CalendarItems::Method::Cancel;
        content.meetingMethod = "CANCEL";
        meeting.cancelled = true;
    } else if (kind.startsWith(QLatin1String("Resp."), Qt::CaseInsensitive)) {
        items.method = CalendarItems::Method::Reply;
        content.meetingMethod = "REPLY";
        // The sender answers the organizer, whom the response goes to.
        using Answer = AppointmentContent::Answer;
        const QString answer = kind.mid(5);
        const Answer given = answer.startsWith(QLatin1String("Pos"), Qt::CaseInsensitive)   ? Answer::Accepted
                             : answer.startsWith(QLatin1String("Neg"), Qt::CaseInsensitive) ? Answer::Declined
                                                                                             : Answer::Tentative;
        const std::optional<MailAddress> organizer =
            meeting.attendees.isEmpty() ? std::nullopt : std::optional<MailAddress>(meeting.attendees.front().mailbox);
        meeting.attendees.clear();
        if (content.from && LooksLikeSmtpAddress(content.from->address))
            meeting.attendees.push_back({*content.from, AppointmentContent::Role::Required, given});
        meeting.organizer = organizer;
    } else {
        return;
    }
    if (!meeting.start && !meeting.recurrence)
        return;
    // A scheduling message names the revision it speaks of.
    if (!meeting.sequence)
        meeting.sequence = 0;
    items.events.push_back(std::move(meeting));
    content.meetingCalendar = ComposeCalendar(items);
}

MessageContent ReadMessageContentIn(libpff_item_t* message, const ReadContext& context)
{
    MessageContent content;
    // The message's own properties are one table: when it cannot be read,
    // nothing of the message can.
    int sets = 0;
    PffRecordSet properties;
    if (libpff_item_get_number_of_record_sets(message, &sets, nullptr) != 1 || sets < 1
        || libpff_item_get_record_set_by_index(message, 0, properties.out(), nullptr) != 1) {
        content.missing.push_back(QString::fromLatin1(kUnreadableProperties));
        return content;
    }
    const int codePage = MessageCodePage(message, context.fileCodePage);
    ReadFailures failures;
    if (const auto subject = ReadSubject(message, context.fileCodePage, &failures))
        content.subject = *subject;
    NoteMissing(content.missing, failures, QStringLiteral("the subject"));
    failures = {};
    content.from = ReadSender(message, codePage, &failures);
    NoteMissing(content.missing, failures, QStringLiteral("the sender"));
    failures = {};
    content.recipients = ReadRecipients(message, codePage, &failures);
    NoteMissing(content.missing, failures, QStringLiteral("the recipients"));
    failures = {};
    content.date = ReadDate(message, &failures);
    NoteMissing(content.missing, failures, QStringLiteral("the date"));
    failures = {};
    content.transportHeaders = ReadMessageString(message, Tag::TransportHeaders, context.fileCodePage,
                                                 NamedLookup::Mapped, &failures)
                                   .value_or(QString());
    NoteMissing(content.missing, failures, QStringLiteral("the original internet headers"));
    failures = {};
    content.headerProperties = ReadHeaderProperties(message, codePage, context.fileCodePage, content.from, &failures);
    NoteMissing(content.missing, failures, QStringLiteral("the message's header fields (identifiers, importance, reply-to)"));
    failures = {};
    ReadBodies(message, context.fileCodePage, content, &failures);
    NoteMissing(content.missing, failures, QStringLiteral("the body"));
    content.state.messageFlags = Read32(message, 0, Tag::MessageFlags);
    content.state.lastVerb = Read32(message, 0, Tag::LastVerbExecuted);
    content.state.flagStatus = Read32(message, 0, Tag::FlagStatus);
    ReadMeetingCalendar(message, context, content);
    ReadAttachments(message, context, content);
    return content;
}

}  // namespace

MessageContent ReadMessageContent(libpff_item_t* message, int fileCodePage, int depthLeft)
{
    ReadContext context;
    context.fileCodePage = fileCodePage;
    context.depthLeft = depthLeft;
    return ReadMessageContentIn(message, context);
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
    // scan's time text gives it.
    // A time beyond year 9999 has no date and no time text alike.
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
    content.missing.push_back(QString::fromLatin1(kRebuiltFromRecordNote));
    content.attachmentsIncomplete = true;
    return content;
}

Expected<void, ReaderOpenFailure> MailboxReader::Open(const QString& pstPath,
                                                      const std::optional<FileIdentity>& scanned)
{
    std::lock_guard lock(fileMutex_);
    scanned_ = scanned;
    if (auto opened = OpenFile(pstPath); !opened)
        return opened;
    auto index = std::make_shared<ItemIndex>();
    PffItem root;
    if (!kLookUpByIdentifier && libpff_file_get_root_folder(file_.get(), root.out(), nullptr) == 1 && root) {
        std::vector<int> path;
        // As deep as the scan walks, so every message it recorded is found again.
        IndexItems(root.get(), path, kDeepestFolderWalk, *index);
    }
    index_ = std::move(index);
    return {};
}

Expected<void, ReaderOpenFailure> MailboxReader::OpenAlongside(const QString& pstPath, const MailboxReader& opened)
{
    std::lock_guard lock(fileMutex_);
    scanned_ = opened.scanned_;
    if (auto result = OpenFile(pstPath); !result)
        return result;
    index_ = opened.index_;
    return {};
}

Expected<void, ReaderOpenFailure> MailboxReader::OpenFile(const QString& pstPath)
{
    searchedForDeletedItems_.reset();
    PffError pffError;
    if (!file_.initialize() || !file_.setAsciiCodepage(kDefaultCodePage) || !file_.open(pstPath, &pffError, scanned_)) {
        ReaderOpenFailure failure;
        failure.outOfMemory = file_.openRanOutOfResources() || !file_.get();
        if (!file_.changedReason().isEmpty()) {
            failure.outOfMemory = false;
            failure.reason = file_.changedReason();
        } else if (failure.outOfMemory) {
            failure.reason = QStringLiteral("not enough memory to open %1 again").arg(pstPath);
        } else {
            // The file system's word first: it says what a user can act on.
            struct stat info {};
            const QByteArray native = NativePath(pstPath);
            if (::stat(native.constData(), &info) != 0)
                failure.reason = QStringLiteral("%1: %2").arg(pstPath, ErrnoText(errno));
            else if (::access(native.constData(), R_OK) != 0)
                failure.reason = QStringLiteral("%1: %2").arg(pstPath, ErrnoText(errno));
            else
                failure.reason =
                    QStringLiteral("%1 cannot be opened again: it changed since the scan, or memory ran short")
                        .arg(pstPath);
        }
        file_.reset();
        return Failed(std::move(failure));
    }
    // The store's record key: the first part of every entry identifier that
    // points into this mailbox.
    PffItem store;
    if (libpff_file_get_message_store(file_.get(), store.out(), nullptr) == 1 && store)
        storeKey_ = ReadBinary(store.get(), 0, Tag::RecordKey).value_or(QByteArray());
    return {};
}

void MailboxReader::IndexItems(libpff_item_t* folder, std::vector<int>& path, int depthLeft, ItemIndex& index)
{
    const int folderIndex = static_cast<int>(index.folderPaths.size());
    index.folderPaths.push_back(path);
    int items = 0;
    if (libpff_folder_get_number_of_sub_messages(folder, &items, nullptr) == 1) {
        for (int item = 0; item < items; ++item) {
            PffItem message;
            uint32_t identifier = 0;
            if (libpff_folder_get_sub_message(folder, item, message.out(), nullptr) == 1 && message
                && libpff_item_get_identifier(message.get(), &identifier, nullptr) == 1)
                index.positions.emplace(identifier, ItemPosition{folderIndex, item});
        }
    }
    if (depthLeft <= 0)
        return;
    int folders = 0;
    if (libpff_folder_get_number_of_sub_folders(folder, &folders, nullptr) != 1)
        return;
    for (int sub = 0; sub < folders; ++sub) {
        PffItem subFolder;
        if (libpff_folder_get_sub_folder(folder, sub, subFolder.out(), nullptr) != 1 || !subFolder)
            continue;
        path.push_back(sub);
        IndexItems(subFolder.get(), path, depthLeft - 1, index);
        path.pop_back();
    }
}

libpff_item_t* MailboxReader::ItemAt(const ItemPosition& position, uint32_t identifier, PffItem& holder)
{
    if (cachedFolder_ != position.folder) {
        cachedFolderItem_.reset();
        cachedFolder_ = -1;
        PffItem current;
        bool ok = libpff_file_get_root_folder(file_.get(), current.out(), nullptr) == 1 && current;
        for (int index : index_->folderPaths[position.folder]) {
            if (!ok)
                break;
            PffItem sub;
            ok = libpff_folder_get_sub_folder(current.get(), index, sub.out(), nullptr) == 1 && sub;
            current = std::move(sub);
        }
        if (!ok)
            return nullptr;
        cachedFolderItem_ = std::move(current);
        cachedFolder_ = position.folder;
    }
    uint32_t check = 0;
    if (libpff_folder_get_sub_message(cachedFolderItem_.get(), position.index, holder.out(), nullptr) == 1 && holder
        && libpff_item_get_identifier(holder.get(), &check, nullptr) == 1 && check == identifier)
        return holder.get();
    return nullptr;
}

bool MailboxReader::SearchedForDeletedItems()
{
    if (!searchedForDeletedItems_)
        searchedForDeletedItems_ = libpff_file_recover_items(file_.get(), 0, nullptr) == 1;
    return *searchedForDeletedItems_;
}

libpff_item_t* MailboxReader::ItemAtLocation(const ItemLocation& location, PffItem& holder, LocatedItem& located)
{
    if (location.source == ItemSource::Recovered && !SearchedForDeletedItems())
        return nullptr;
    if (!location.isEmbedded())
        return FindTopLevelItem(location, holder);
    located = LocateItem(file_.get(), location);
    return located ? located.item() : nullptr;
}

libpff_item_t* MailboxReader::FindTopLevelItem(const ItemLocation& location, PffItem& holder)
{
    if (location.isRecovered())
        return TopLevelItem(file_.get(), location, holder) ? holder.get() : nullptr;
    const uint32_t identifier = location.itemIdentifier;
    if (index_ != nullptr) {
        if (const auto found = index_->positions.find(identifier); found != index_->positions.end()) {
            if (libpff_item_t* item = ItemAt(found->second, identifier, holder))
                return item;
        }
    }
    // Not where the walk saw it, or no walk was made: ask libpff directly.
    if (libpff_file_get_item_by_identifier(file_.get(), identifier, holder.out(), nullptr) == 1 && holder)
        return holder.get();
    return nullptr;
}

MessageRead MailboxReader::ReadMessage(const ItemLocation& location)
{
    std::lock_guard lock(fileMutex_);
    MessageRead result;
    if (!file_.isOpen() || location.itemIdentifier == 0) {
        result.failure = QStringLiteral("the message is not in the mailbox");
        return result;
    }
    ReadContext context;
    context.fileCodePage = file_.asciiCodepage();
    context.fileMutex = &fileMutex_;
    try {
        PffItem holder;
        LocatedItem located;
        libpff_item_t* item = ItemAtLocation(location, holder, located);
        if (!item) {
            result.failure = QStringLiteral("the message can no longer be found in the mailbox");
            return result;
        }
        // The sources of streamed attachments take the lock themselves later;
        // reading here already holds it.
        MessageContent content = ReadMessageContentIn(item, context);
        if (!content.missing.isEmpty() && content.missing.front() == QLatin1String(kUnreadableProperties)) {
            result.failure = QStringLiteral("the message can no longer be read from the mailbox");
            return result;
        }
        result.content = std::move(content);
    } catch (const std::bad_alloc&) {
        result.content.reset();
        result.failure = QStringLiteral("not enough memory to read the message");
    }
    return result;
}

namespace {

AppointmentContent ReadAppointmentContent(libpff_item_t* item, uint32_t identifier, int fileCodePage)
{
    using Busy = AppointmentContent::Busy;
    AppointmentContent content;
    content.identifier = identifier;
    const int codePage = MessageCodePage(item, fileCodePage);
    content.subject = ReadSubject(item, fileCodePage).value_or(QString());
    content.location = ReadMessageString(item, Tag::AppointmentLocation, fileCodePage).value_or(QString()).trimmed();
    content.description = PlainText(item, fileCodePage);
    content.start = TimeOf(item, Tag::AppointmentStartWhole);
    content.end = TimeOf(item, Tag::AppointmentEndWhole);
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
            content.missing.push_back(QStringLiteral("its recurrence (%1; written as one event)").arg(invalid));
        }
    }
    if (const auto zone = ReadBinary(item, 0, Tag::TimeZoneStruct))
        content.timeZone = ParseTimeZoneStruct(
            *zone, ReadMessageString(item, Tag::TimeZoneDescription, fileCodePage).value_or(QString()).trimmed());
    content.replacedStart = TimeOf(item, Tag::ExceptionReplaceTime);
    if (const auto sequence = Read32(item, 0, Tag::AppointmentSequence))
        content.sequence = static_cast<int>(*sequence);
    if (const auto global = ReadNamedProperty(item, 0, kGlobalObjectIdProperty);
        global && global->valueType == PropertyType::Binary)
        content.globalObjectId = global->data;
    // A meeting: the recipients are its attendees (To required, Cc optional,
    // Bcc resources) and the sender organises it.
    ReadFailures ignored;
    for (const Recipient& recipient : ReadRecipients(item, codePage, &ignored)) {
        if (!LooksLikeSmtpAddress(recipient.mailbox.address))
            continue;
        const auto role = recipient.kind == RecipientKind::Cc    ? AppointmentContent::Role::Optional
                          : recipient.kind == RecipientKind::Bcc ? AppointmentContent::Role::Resource
                                                                 : AppointmentContent::Role::Required;
        content.attendees.push_back(AppointmentContent::Attendee{recipient.mailbox, role});
    }
    if (!content.attendees.isEmpty()) {
        if (auto sender = ReadSender(item, codePage, &ignored); sender && LooksLikeSmtpAddress(sender->address))
            content.organizer = std::move(sender);
    }
    return content;
}

}  // namespace

namespace {

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

// The files and links attached to an appointment, read into memory.
// Embedded items are not among them: the scan records each as an item of its
// own (a changed occurrence of a series as an appointment, a message as mail).
void ReadAppointmentAttachments(libpff_item_t* appointment, int fileCodePage, AppointmentContent& content)
{
    const int codePage = MessageCodePage(appointment, fileCodePage);
    ReadContext inMemory;  // no file lock: every attachment is read whole, now
    inMemory.fileCodePage = fileCodePage;
    ForEachAttachment(appointment, content.missing, [&](PffItem& attachmentItem, int type, int index) {
        if (type == LIBPFF_ATTACHMENT_TYPE_ITEM)
            return;
        libpff_item_t* item = attachmentItem.get();
        ReadFailures failures;
        CalendarAttachment attachment;
        attachment.fileName = AttachmentFileName(item, codePage, &failures);
        attachment.contentType = String(item, 0, Tag::AttachMimeTag, codePage, &failures).value_or(QString()).trimmed();
        const QString label = AttachmentLabel(attachment.fileName, index);
        NoteMissing(content.missing, failures, label + QStringLiteral(" (its name or type)"));
        if (type == LIBPFF_ATTACHMENT_TYPE_REFERENCE) {
            ReadFailures linkFailures;
            attachment.uri = LinkUri(AttachmentLink(item, codePage, &linkFailures));
            if (attachment.uri.isEmpty()) {
                content.missing.push_back(label + QStringLiteral(" (where the linked file lives)"));
                return;
            }
        } else {
            Attachment read;
            QString reason;
            if (!ReadAttachmentData(attachmentItem, inMemory, read, &reason)) {
                content.missing.push_back(label + QStringLiteral(": ") + reason);
                return;
            }
            attachment.data = std::move(read.data);
        }
        content.attachments.push_back(std::move(attachment));
    });
}

}  // namespace

AppointmentRead MailboxReader::ReadAppointment(const ItemLocation& location)
{
    AppointmentRead result;
    // A changed occurrence of a series is kept inside the series' item.
    result.failure = WithItem(location, QStringLiteral("appointment"), [&](libpff_item_t* item) {
        result.content = ReadAppointmentContent(item, location.itemIdentifier, file_.asciiCodepage());
        ReadAppointmentAttachments(item, file_.asciiCodepage(), *result.content);
    });
    return result;
}

QString MailboxReader::WithItem(const ItemLocation& location, const QString& what,
                                const std::function<void(libpff_item_t*)>& read)
{
    std::lock_guard lock(fileMutex_);
    if (!file_.isOpen() || location.itemIdentifier == 0)
        return QStringLiteral("the %1 is not in the mailbox").arg(what);
    try {
        PffItem holder;
        LocatedItem located;
        libpff_item_t* item = ItemAtLocation(location, holder, located);
        if (!item)
            return QStringLiteral("the %1 can no longer be found in the mailbox").arg(what);
        read(item);
    } catch (const std::bad_alloc&) {
        return QStringLiteral("not enough memory to read the %1").arg(what);
    }
    return QString();
}

ItemRead<TaskContent> MailboxReader::ReadTask(const ItemLocation& location)
{
    ItemRead<TaskContent> result;
    result.failure = WithItem(location, QStringLiteral("task"), [&](libpff_item_t* item) {
        using Status = TaskContent::Status;
        const int fileCodePage = file_.asciiCodepage();
        TaskContent task;
        task.identifier = location.itemIdentifier;
        task.subject = ReadSubject(item, fileCodePage).value_or(QString());
        task.description = PlainText(item, fileCodePage);
        task.start = DayOf(item, Tag::TaskStartDate);
        task.due = DayOf(item, Tag::TaskDueDate);
        task.completed = TimeOf(item, Tag::TaskDateCompleted);
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
        result.content = std::move(task);
    });
    return result;
}

ItemRead<NoteContent> MailboxReader::ReadNote(const ItemLocation& location, bool journal)
{
    ItemRead<NoteContent> result;
    result.failure = WithItem(location, journal ? QStringLiteral("journal entry") : QStringLiteral("note"),
                                      [&](libpff_item_t* item) {
        const int fileCodePage = file_.asciiCodepage();
        NoteContent note;
        note.journal = journal;
        note.identifier = location.itemIdentifier;
        note.subject = ReadSubject(item, fileCodePage).value_or(QString());
        note.text = PlainText(item, fileCodePage);
        if (journal) {
            note.start = TimeOf(item, Tag::LogStart);
            note.journalType = ReadMessageString(item, Tag::LogType, fileCodePage).value_or(QString()).trimmed();
        }
        note.created = TimeOf(item, Tag::CreationTime);
        note.modified = TimeOf(item, Tag::ModificationTime);
        note.categories = Categories(item, MessageCodePage(item, fileCodePage));
        result.content = std::move(note);
    });
    return result;
}

namespace {

// The provider that wraps the entry identifiers of a list's members.
constexpr unsigned char kWrappedEntryIdProvider[16] = {0xC0, 0x91, 0xAD, 0xD3, 0x51, 0x9D, 0xCF, 0x11,
                                                      0xA4, 0xA9, 0x00, 0xAA, 0x00, 0x47, 0xFA, 0xA4};

// A list member's entry identifier comes wrapped: flags, the wrapping
// provider, a type (its low four bits: 0 a one-off address, 3 a contact),
// then the member's own entry identifier.
struct WrappedEntryId {
    int kind = 0;
    QByteArray embedded;
};

std::optional<WrappedEntryId> Unwrap(const QByteArray& entry)
{
    constexpr qsizetype kWrapping = 4 + 16 + 1;
    if (entry.size() <= kWrapping
        || std::memcmp(entry.constData() + 4, kWrappedEntryIdProvider, sizeof kWrappedEntryIdProvider) != 0)
        return std::nullopt;
    return WrappedEntryId{static_cast<unsigned char>(entry.at(20)) & 0x0F, entry.mid(kWrapping)};
}

// The contact a member is, when it is one of the mailbox whose store has
// `storeKey`: its entry identifier is flags, the store's key and the item's
// identifier.
std::optional<uint32_t> ContactOf(const WrappedEntryId& member, const QByteArray& storeKey)
{
    constexpr int kContact = 3;
    constexpr qsizetype kMessageEntryId = 4 + 16 + 4;
    if (member.kind != kContact || member.embedded.size() != kMessageEntryId
        || (!storeKey.isEmpty() && member.embedded.mid(4, 16) != storeKey))
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const unsigned char*>(member.embedded.constData()) + 20;
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8
           | static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}

}  // namespace

ItemRead<DistributionListContent> MailboxReader::ReadDistributionList(const ItemLocation& location)
{
    ItemRead<DistributionListContent> result;
    result.failure = WithItem(location, QStringLiteral("distribution list"), [&](libpff_item_t* item) {
        const int fileCodePage = file_.asciiCodepage();
        const int codePage = MessageCodePage(item, fileCodePage);
        DistributionListContent list;
        list.identifier = location.itemIdentifier;
        list.name = ReadMessageString(item, Tag::DistributionListName, fileCodePage).value_or(QString()).trimmed();
        if (list.name.isEmpty())
            list.name = ReadSubject(item, fileCodePage).value_or(QString()).trimmed();
        list.notes = PlainText(item, fileCodePage);
        // Two lists side by side: each member as it is (a contact, a one-off
        // address, ...) and each member as a one-off identifier with its name
        // and address.
        const auto members = ReadProperty(item, 0, Tag::DistributionListMembers);
        const auto oneOffs = ReadProperty(item, 0, Tag::DistributionListOneOffMembers);
        const QList<QByteArray> asTheyAre = members ? SplitMultiValue(members->data) : QList<QByteArray>();
        const QList<QByteArray> asOneOffs = oneOffs ? SplitMultiValue(oneOffs->data) : QList<QByteArray>();
        for (qsizetype index = 0; index < std::max(asTheyAre.size(), asOneOffs.size()); ++index) {
            DistributionListContent::Member member;
            const auto wrapped = index < asTheyAre.size() ? Unwrap(asTheyAre[index]) : std::nullopt;
            if (wrapped)
                member.contactIdentifier = ContactOf(*wrapped, storeKey_);
            auto oneOff = index < asOneOffs.size() ? ParseOneOffEntryId(asOneOffs[index], codePage) : std::nullopt;
            if (!oneOff && wrapped && wrapped->kind == 0)
                oneOff = ParseOneOffEntryId(wrapped->embedded, codePage);
            if (oneOff) {
                member.mailbox.name = oneOff->displayName;
                if (LooksLikeSmtpAddress(oneOff->address))
                    member.mailbox.address = oneOff->address;
            }
            if (member.contactIdentifier || !member.mailbox.address.isEmpty())
                list.members.push_back(std::move(member));
            else
                list.membersLeftOut << (member.mailbox.name.isEmpty()
                                            ? QStringLiteral("member %1").arg(index + 1)
                                            : QStringLiteral("\"%1\"").arg(member.mailbox.name));
        }
        result.content = std::move(list);
    });
    return result;
}

namespace {

// Larger than any picture of a person; a card carries its photo inline, so a
// bigger one would cost memory many times its size and make a card no
// address book reads. It is left out and the card counted incomplete.
constexpr size64_t kLargestContactPhoto = 16 * 1024 * 1024;

// A contact's picture: the attachment marked as its photo.
void ReadContactPhoto(libpff_item_t* contact, ContactDetails& details)
{
    int count = 0;
    if (libpff_message_get_number_of_attachments(contact, &count, nullptr) != 1)
        return;
    for (int index = 0; index < count; ++index) {
        PffItem attachmentItem;
        if (libpff_message_get_attachment(contact, index, attachmentItem.out(), nullptr) != 1 || !attachmentItem
            || !ReadBoolean(attachmentItem.get(), 0, Tag::AttachmentContactPhoto).value_or(false))
            continue;
        size64_t size = 0;
        if (libpff_attachment_get_data_size(attachmentItem.get(), &size, nullptr) == 1 && size > kLargestContactPhoto) {
            details.photoLeftOut = QStringLiteral("its photo (%1 MB, more than the %2 MB a card holds)")
                                       .arg((size + (1 << 20) - 1) >> 20)
                                       .arg(kLargestContactPhoto >> 20);
            return;
        }
        Attachment read;
        QString reason;
        if (!ReadAttachmentData(attachmentItem, ReadContext{}, read, &reason) || read.data.isEmpty()) {
            details.photoLeftOut = QStringLiteral("its photo (%1)")
                                       .arg(reason.isEmpty() ? QStringLiteral("no data") : reason);
            continue;
        }
        details.photoLeftOut.clear();
        const QByteArray& data = read.data;
        if (data.startsWith("\xFF\xD8\xFF"))
            details.photoType = QStringLiteral("image/jpeg");
        else if (data.startsWith("\x89PNG"))
            details.photoType = QStringLiteral("image/png");
        else if (data.startsWith("GIF8"))
            details.photoType = QStringLiteral("image/gif");
        else if (data.startsWith("BM"))
            details.photoType = QStringLiteral("image/bmp");
        details.photo = read.data;
        return;
    }
}

}  // namespace

ContactDetails MailboxReader::ReadContactDetails(const ItemLocation& location)
{
    std::lock_guard lock(fileMutex_);
    ContactDetails details;
    if (!file_.isOpen() || location.itemIdentifier == 0 || location.isEmbedded())
        return details;
    PffItem holder;
    LocatedItem located;
    libpff_item_t* item = ItemAtLocation(location, holder, located);
    if (!item)
        return details;
    details.uid = ContactUid(storeKey_, location.itemIdentifier);
    const int codePage = MessageCodePage(item, file_.asciiCodepage());
    const struct {
        uint32_t address, type, originalName;
    } slots[] = {{Tag::Email1Address, Tag::Email1AddressType, Tag::Email1OriginalDisplayName},
                 {Tag::Email2Address, Tag::Email2AddressType, Tag::Email2OriginalDisplayName},
                 {Tag::Email3Address, Tag::Email3AddressType, Tag::Email3OriginalDisplayName}};
    for (const auto& slot : slots) {
        auto address = ReadString(item, 0, slot.address, codePage);
        if (!address || IsBlank(*address))
            continue;
        // An address of the organisation's directory is no mail address; the
        // one it was chosen as usually is.
        if (ReadString(item, 0, slot.type, codePage).value_or(QString()).trimmed().compare(u"EX", Qt::CaseInsensitive)
            == 0) {
            const QString original = ReadString(item, 0, slot.originalName, codePage).value_or(QString()).trimmed();
            if (IsAddrSpec(original))
                address = original;
        }
        details.emails.push_back(address->trimmed());
    }
    const auto preferred = Read32(item, 0, Tag::PostalAddressId).value_or(0);
    auto text = [&](uint32_t tag) { return ReadString(item, 0, tag, codePage).value_or(QString()).trimmed(); };
    auto either = [&](uint32_t tag, uint32_t named) {
        const QString value = text(tag);
        return value.isEmpty() ? text(named) : value;
    };
    const PostalAddress addresses[] = {
        {PostalAddress::Kind::Home, text(Tag::HomeAddressPostOfficeBox), text(Tag::HomeAddressStreet),
         text(Tag::HomeAddressCity), text(Tag::HomeAddressStateOrProvince), text(Tag::HomeAddressPostalCode),
         text(Tag::HomeAddressCountry), preferred == 1},
        {PostalAddress::Kind::Work, either(Tag::BusinessAddressPostOfficeBox, Tag::WorkAddressPostOfficeBox),
         either(Tag::BusinessAddressStreet, Tag::WorkAddressStreet),
         either(Tag::BusinessAddressCity, Tag::WorkAddressCity),
         either(Tag::BusinessAddressStateOrProvince, Tag::WorkAddressState),
         either(Tag::BusinessAddressPostalCode, Tag::WorkAddressPostalCode),
         either(Tag::BusinessAddressCountry, Tag::WorkAddressCountry), preferred == 2},
        {PostalAddress::Kind::Other, text(Tag::OtherAddressPostOfficeBox), text(Tag::OtherAddressStreet),
         text(Tag::OtherAddressCity), text(Tag::OtherAddressStateOrProvince), text(Tag::OtherAddressPostalCode),
         text(Tag::OtherAddressCountry), preferred == 3},
    };
    for (const PostalAddress& address : addresses) {
        if (!(address.postOfficeBox + address.street + address.city + address.region + address.postalCode
              + address.country)
                 .isEmpty())
            details.addresses.push_back(address);
    }
    auto day = [&](uint32_t tag) -> std::optional<QDate> {
        const auto time = TimeOf(item, tag);
        return time ? std::optional<QDate>(DayOfStoredMidnight(*time)) : std::nullopt;
    };
    details.birthday = day(Tag::Birthday);
    details.anniversary = day(Tag::WeddingAnniversary);
    details.categories = Categories(item, codePage);
    ReadContactPhoto(item, details);
    return details;
}

}  // namespace tolvane
