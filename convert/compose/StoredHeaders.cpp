// Carrying the stored internet headers into the written message, and the
// fields only the message's properties hold.
#include "convert/compose/StoredHeaders.h"

#include "convert/compose/EncodedWords.h"
#include "convert/compose/HeaderText.h"
#include "convert/compose/MimeComposer.h"

#include <QRegularExpression>
#include <QSet>

#include <algorithm>

namespace tolvane {

namespace {

bool IsMimeStructureHeader(const QByteArray& lowerName, const StoredFieldsKept& kept)
{
    static const QSet<QByteArray> replaced = {"mime-version", "from", "to", "cc", "bcc", "subject", "date",
                                              "message-id"};
    if (kept.date && lowerName == "date")
        return false;
    if (kept.toAndCc && (lowerName == "to" || lowerName == "cc"))
        return false;
    return lowerName.startsWith("content-") || replaced.contains(lowerName);
}

// One message identifier without its angle brackets, or empty when the text
// cannot be one (spaces, controls, non-ASCII, no "@").
QByteArray MessageIdentifier(const QString& text)
{
    QString id = text.trimmed();
    if (id.startsWith(u'<') && id.endsWith(u'>'))
        id = id.mid(1, id.size() - 2).trimmed();
    for (QChar c : id) {
        const char16_t u = c.unicode();
        if (u <= 0x20 || u >= 0x7F || u == u'<' || u == u'>')
            return {};
    }
    if (!id.contains(u'@'))
        return {};
    return id.toLatin1();
}

// The identifiers of a references text, each in angle brackets, space separated.
QByteArray IdentifierList(const QString& text)
{
    QByteArray list;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString& piece : text.split(separators, Qt::SkipEmptyParts)) {
        const QByteArray id = MessageIdentifier(piece);
        if (id.isEmpty())
            continue;
        if (!list.isEmpty())
            list += ' ';
        list += '<' + id + '>';
    }
    return list;
}

// Header texts of the typed values, in one place.
const char* ImportanceText(HeaderProperties::Importance importance)
{
    switch (importance) {
    case HeaderProperties::Importance::Low: return "low";
    case HeaderProperties::Importance::High: return "high";
    case HeaderProperties::Importance::Normal: break;
    }
    return "normal";
}

const char* XPriorityText(HeaderProperties::Importance importance)
{
    switch (importance) {
    case HeaderProperties::Importance::Low: return "5 (Lowest)";
    case HeaderProperties::Importance::High: return "1 (Highest)";
    case HeaderProperties::Importance::Normal: break;
    }
    return "3 (Normal)";
}

const char* PriorityText(HeaderProperties::Priority priority)
{
    switch (priority) {
    case HeaderProperties::Priority::NonUrgent: return "non-urgent";
    case HeaderProperties::Priority::Urgent: return "urgent";
    case HeaderProperties::Priority::Normal: break;
    }
    return "normal";
}

const char* SensitivityText(HeaderProperties::Sensitivity sensitivity)
{
    switch (sensitivity) {
    case HeaderProperties::Sensitivity::Personal: return "Personal";
    case HeaderProperties::Sensitivity::Private: return "Private";
    case HeaderProperties::Sensitivity::Confidential: return "Company-Confidential";
    case HeaderProperties::Sensitivity::None: break;
    }
    return nullptr;
}

// Sets a header the message does not have yet; one that the stored headers
// already gave it stays as it is.
void SetHeaderIfAbsent(GMimeMessage* message, const char* name, const QByteArray& value)
{
    if (value.isEmpty() || HeaderValue(GMIME_OBJECT(message), name) != nullptr)
        return;
    g_mime_object_set_header(GMIME_OBJECT(message), name, value.constData(), "utf-8");
    EncodeHeaderValue(GMIME_OBJECT(message), name);
}

}  // namespace

// The stored internet headers as GMime reads them; null when there are none.
GObjectPtr<GMimeMessage> ParseTransportHeaders(const QString& transportHeaders)
{
    QByteArray text = U8(transportHeaders).trimmed();
    if (text.isEmpty())
        return {};
    text.replace("\r\n", "\n");
    // Keep only the header block, should a body have come along.
    const qsizetype end = text.indexOf("\n\n");
    if (end >= 0)
        text.truncate(end);
    text += "\n\n";
    auto stream = AdoptGObject(g_mime_stream_mem_new_with_buffer(text.constData(), static_cast<size_t>(text.size())));
    auto parser = AdoptGObject(g_mime_parser_new_with_stream(stream.get()));
    return AdoptGObject(g_mime_parser_construct_message(parser.get(), nullptr));
}

// The value of a header of `object` that is present and not empty; null otherwise.
const char* HeaderValue(GMimeObject* object, const char* name)
{
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    const int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const char* value = g_mime_header_get_value(header);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) == 0 && value != nullptr
            && QByteArray(value).trimmed().size() > 0)
            return value;
    }
    return nullptr;
}

// Copies the original internet headers that do not describe the MIME structure
// or the fields written from the message's own properties.
void CopyTransportHeaders(GMimeMessage* message, GMimeMessage* original, const StoredFieldsKept& kept)
{
    if (!original)
        return;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(original));
    const int count = g_mime_header_list_get_count(headers);
    for (int i = 0; i < count; ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const char* name = g_mime_header_get_name(header);
        const char* value = g_mime_header_get_value(header);
        if (!name || !value)
            continue;
        const QByteArray lowerName = QByteArray(name).toLower();
        if (lowerName == "message-id") {
            QByteArray id = QByteArray(value).trimmed();
            if (id.startsWith('<') && id.endsWith('>'))
                id = id.mid(1, id.size() - 2);
            if (!id.isEmpty() && IsValidUtf8(id) && !id.contains(' '))
                g_mime_message_set_message_id(message, id.constData());
            continue;
        }
        if (IsMimeStructureHeader(lowerName, kept))
            continue;
        QByteArray cleanValue = value;
        if (!IsValidUtf8(cleanValue))
            cleanValue = QString::fromLatin1(cleanValue).toUtf8();
        g_mime_object_append_header(GMIME_OBJECT(message), name, cleanValue.constData(), "utf-8");
        // Plain ASCII headers keep their original folding and text.
        const char* raw = g_mime_header_get_raw_value(header);
        GMimeHeaderList* target = g_mime_object_get_header_list(GMIME_OBJECT(message));
        const int targetCount = g_mime_header_list_get_count(target);
        if (raw && IsPlainAscii(QByteArray(raw).replace('\n', ' ').replace('\r', ' ')) && targetCount > 0)
            g_mime_header_set_raw_value(g_mime_header_list_get_header_at(target, targetCount - 1), raw);
        else
            EncodeHeaderValue(GMIME_OBJECT(message), name);
    }
}

QString WrittenMessageId(const MessageContent& content)
{
    // The stored headers' field wins, as when the message is composed.
    const QStringList lines = content.transportHeaders.split(u'\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        if (!lines[i].startsWith(QLatin1String("message-id:"), Qt::CaseInsensitive))
            continue;
        QString value = lines[i].mid(11);
        while (i + 1 < lines.size() && (lines[i + 1].startsWith(u' ') || lines[i + 1].startsWith(u'\t')))
            value += lines[++i];
        const QByteArray id = MessageIdentifier(value);
        if (!id.isEmpty())
            return QString::fromLatin1(id);
        break;
    }
    return QString::fromLatin1(MessageIdentifier(content.headerProperties.messageId));
}

// The fields only the message's properties hold, for mail whose stored
// headers lack them (sent mail and drafts have none at all).
void AddHeadersFromProperties(GMimeMessage* message, const HeaderProperties& fields)
{
    if (g_mime_message_get_message_id(message) == nullptr) {
        const QByteArray id = MessageIdentifier(fields.messageId);
        if (!id.isEmpty())
            g_mime_message_set_message_id(message, id.constData());
    }
    SetHeaderIfAbsent(message, "In-Reply-To", IdentifierList(fields.inReplyTo));
    SetHeaderIfAbsent(message, "References", IdentifierList(fields.references));
    InternetAddressList* replyTo = g_mime_message_get_reply_to(message);
    if (internet_address_list_length(replyTo) == 0 && HeaderValue(GMIME_OBJECT(message), "Reply-To") == nullptr) {
        for (const Mailbox& address : fields.replyTo)
            AddAddress(replyTo, address);
        EncodeAddressHeader(GMIME_OBJECT(message), "Reply-To", replyTo);
    }
    // Two spellings of one fact: stored headers with either one keep theirs alone.
    if (fields.importance && *fields.importance != HeaderProperties::Importance::Normal
        && HeaderValue(GMIME_OBJECT(message), "Importance") == nullptr
        && HeaderValue(GMIME_OBJECT(message), "X-Priority") == nullptr) {
        SetHeaderIfAbsent(message, "Importance", ImportanceText(*fields.importance));
        SetHeaderIfAbsent(message, "X-Priority", XPriorityText(*fields.importance));
    }
    if (fields.priority && *fields.priority != HeaderProperties::Priority::Normal)
        SetHeaderIfAbsent(message, "Priority", PriorityText(*fields.priority));
    if (fields.sensitivity) {
        if (const char* text = SensitivityText(*fields.sensitivity))
            SetHeaderIfAbsent(message, "Sensitivity", text);
    }
    if (fields.readReceiptTo && HeaderValue(GMIME_OBJECT(message), "Disposition-Notification-To") == nullptr) {
        auto list = AdoptGObject(internet_address_list_new());
        AddAddress(list.get(), *fields.readReceiptTo);
        FormatOptionsPtr options(g_mime_format_options_new());
        GCharPtr text(internet_address_list_to_string(list.get(), options.get(), TRUE));
        if (text && *text.get()) {
            g_mime_object_set_header(GMIME_OBJECT(message), "Disposition-Notification-To", text.get(), nullptr);
            EncodeAddressHeader(GMIME_OBJECT(message), "Disposition-Notification-To", list.get());
        }
    }
    if (!fields.keywords.isEmpty() && HeaderValue(GMIME_OBJECT(message), "Keywords") == nullptr) {
        // A list of phrases: each one encoded on its own, so that no comma
        // ends up inside an encoded word, where it would separate nothing.
        QByteArrayList phrases;
        QStringList texts;
        for (const QString& keyword : fields.keywords) {
            const QString phrase = HeaderSafe(keyword).replace(u',', u' ').simplified();
            if (phrase.isEmpty())
                continue;
            GCharPtr encoded(g_mime_utils_header_encode_phrase(nullptr, U8(phrase).constData(), "utf-8"));
            if (encoded) {
                phrases << QByteArray(encoded.get());
                texts << phrase;
            }
        }
        if (!phrases.isEmpty()) {
            g_mime_object_set_header(GMIME_OBJECT(message), "Keywords", phrases.join(", ").constData(), nullptr);
            if (std::any_of(texts.cbegin(), texts.cend(), [](const QString& text) { return NeedsEncodedWords(text); })) {
                if (GMimeHeader* header = LastHeader(GMIME_OBJECT(message), "Keywords"))
                    g_mime_header_set_raw_value(header, EncodedPhraseListRawValue("Keywords", texts).constData());
            }
        }
    }
    SetHeaderIfAbsent(message, "Thread-Topic", U8(HeaderSafe(fields.threadTopic).trimmed()));
    SetHeaderIfAbsent(message, "Thread-Index", fields.threadIndex.toBase64());
    if (fields.unsent)
        SetHeaderIfAbsent(message, "X-Unsent", "1");
    // Always this program's own word, whatever the stored headers say.
    if (fields.recovered)
        g_mime_object_set_header(GMIME_OBJECT(message), "X-Tolvane-Recovered", "yes", nullptr);
    else
        g_mime_header_list_remove(g_mime_object_get_header_list(GMIME_OBJECT(message)), "X-Tolvane-Recovered");
}

}  // namespace tolvane
