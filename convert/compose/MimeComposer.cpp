// MIME composition of one message. Headers are always encoded (RFC 2047),
// parameters always RFC 2231; bodies and attachments get a 7-bit safe
// transfer encoding, so the output never holds raw 8-bit header bytes.
#include "convert/compose/MimeComposer.h"

#include "convert/compose/AttachmentStream.h"
#include "convert/compose/CalendarWriter.h"
#include "convert/compose/EncodedWords.h"
#include "convert/compose/HeaderText.h"
#include "convert/compose/LeafBodies.h"
#include "convert/compose/MimeBoundaries.h"
#include "convert/compose/StoredHeaders.h"
#include "convert/compose/TextCharset.h"
#include "base/NativePath.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tolvane {

// The message with its leaf bodies, or with stand-ins for them in `splices`.
GObjectPtr<GMimeMessage> ComposeMessageTree(const MessageContent& content, LeafSplices* splices);

namespace {

// A Content-ID as a message identifier: no spaces or controls at all.
QString ContentIdSafe(const QString& value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        const char16_t u = c.unicode();
        if (u > 0x20 && u != 0x7F && !(u >= 0x80 && u < 0xA0) && u != u'<' && u != u'>')
            out += c;
    }
    return out;
}

// Text with every CR that does not start a CRLF made a line end (LF, which
// the writer turns into CRLF like every other). A CR alone (old texts end
// lines so) would pass the encoders untouched, and a reader that ends a line
// there would see another message structure than one that does not.
QByteArray WithPlainLineEnds(const QByteArray& text)
{
    qsizetype at = text.indexOf('\r');
    while (at >= 0 && at + 1 < text.size() && text.at(at + 1) == '\n')
        at = text.indexOf('\r', at + 2);
    if (at < 0)
        return text;
    QByteArray normal = text;
    for (qsizetype i = at; i < normal.size(); ++i) {
        if (normal.at(i) == '\r' && (i + 1 == normal.size() || normal.at(i + 1) != '\n'))
            normal[i] = '\n';
    }
    return normal;
}

// A leaf's content in its transfer encoding. With `splices`, GMime is given a
// stand-in and the body is put back after it has written the message;
// without, it is given the body already encoded, so it only ends its lines.
// Either way the encoder steps are GMime's own.
void SetLeafContent(GMimePart* part, const QByteArray& bytes, GMimeContentEncoding encoding, LeafSplices* splices)
{
    const bool encoded = encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE;
    // Text left as it is goes in as the part's raw content, for GMime to end its lines.
    const GMimeContentEncoding stored = encoded ? encoding : GMIME_CONTENT_ENCODING_DEFAULT;
    QByteArray content;
    QByteArray body = splices && !bytes.isEmpty() ? EncodedWithCrlf(bytes, encoding) : QByteArray();
    // A body ending in a bare CR would be ended differently from its stand-in.
    if (!body.isEmpty() && !body.endsWith('\r'))
        content = splices->Add(std::move(body));
    else
        content = Encoded(bytes, encoding);
    GByteArray* array = g_byte_array_sized_new(static_cast<guint>(content.size()));
    g_byte_array_append(array, reinterpret_cast<const guint8*>(content.constData()), static_cast<guint>(content.size()));
    auto stream = AdoptGObject(g_mime_stream_mem_new_with_byte_array(array));
    auto wrapper = AdoptGObject(g_mime_data_wrapper_new_with_stream(stream.get(), stored));
    g_mime_part_set_content(part, wrapper.get());
}

GObjectPtr<GMimePart> MakeTextLeaf(const char* subtype, const QByteArray& content, const QByteArray& charset,
                                   LeafSplices* splices)
{
    // In UTF-16 and UTF-32 a 0x0D byte is part of a character, not a line end.
    const QByteArray lowerCharset = charset.toLower();
    const bool byteLines = !lowerCharset.startsWith("utf-16") && !lowerCharset.startsWith("utf-32")
                           && !lowerCharset.startsWith("ucs");
    const QByteArray bytes = byteLines ? WithPlainLineEnds(content) : content;
    auto part = AdoptGObject(GMIME_PART(g_mime_text_part_new_with_subtype(subtype)));
    const GMimeContentEncoding encoding = BestTextEncoding(bytes);
    SetLeafContent(part.get(), bytes, encoding, splices);
    if (!charset.isEmpty())
        g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", charset.constData());
    g_mime_part_set_content_encoding(part.get(), encoding);
    return part;
}

// A stored content type is used only when it reads as "type/subtype" of tokens.
bool SplitContentType(const QString& value, QByteArray* type, QByteArray* subtype)
{
    const QString trimmed = value.section(u';', 0, 0).trimmed().toLower();
    const qsizetype slash = trimmed.indexOf(u'/');
    if (slash <= 0 || slash == trimmed.size() - 1)
        return false;
    static const QString tspecials = QStringLiteral("()<>@,;:\\\"/[]?= ");
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (i == slash)
            continue;
        if (c.unicode() <= 0x20 || c.unicode() >= 0x7F || tspecials.contains(c))
            return false;
    }
    *type = trimmed.left(slash).toLatin1();
    *subtype = trimmed.mid(slash + 1).toLatin1();
    return true;
}

GObjectPtr<GMimeObject> MakeAttachmentPart(const Attachment& attachment, bool inlineImage, LeafSplices* splices);

GObjectPtr<GMimeObject> MakeBodyPart(const MessageContent& content, LeafSplices* splices)
{
    GObjectPtr<GMimePart> plain;
    GObjectPtr<GMimePart> html;
    if (!content.plainBody.isNull()) {
        QByteArray text = content.plainBody;
        if (!IsValidUtf8(text))
            text = QString::fromUtf8(text).toUtf8();
        plain = MakeTextLeaf("plain", text, "utf-8", splices);
    }
    if (!content.htmlBody.isNull()) {
        QByteArray charset = content.htmlCharset.isEmpty() ? QByteArray("utf-8") : content.htmlCharset;
        QByteArray bytes = content.htmlBody;
        if (charset.compare("utf-8", Qt::CaseInsensitive) == 0 && !IsValidUtf8(bytes))
            bytes = QString::fromUtf8(bytes).toUtf8();
        html = MakeTextLeaf("html", bytes, charset, splices);
    }
    if (content.meeting) {
        // A meeting message: its text and its calendar are the same message
        // in two forms, as calendar clients expect it.
        const MeetingCalendarText meeting = MeetingCalendarOf(*content.meeting);
        auto calendar = MakeTextLeaf("calendar", meeting.text, "utf-8", splices);
        g_mime_object_set_content_type_parameter(GMIME_OBJECT(calendar.get()), "method", meeting.method);
        auto alternative = AdoptGObject(g_mime_multipart_new_with_subtype("alternative"));
        if (!plain && !html)
            plain = MakeTextLeaf("plain", QByteArray(""), "utf-8", splices);
        for (GMimePart* part : {plain.get(), html.get(), calendar.get()}) {
            if (part)
                g_mime_multipart_add(alternative.get(), GMIME_OBJECT(part));
        }
        return GObjectPtr<GMimeObject>(GMIME_OBJECT(alternative.release()));
    }
    if (plain && html) {
        auto alternative = AdoptGObject(g_mime_multipart_new_with_subtype("alternative"));
        g_mime_multipart_add(alternative.get(), GMIME_OBJECT(plain.get()));
        g_mime_multipart_add(alternative.get(), GMIME_OBJECT(html.get()));
        return GObjectPtr<GMimeObject>(GMIME_OBJECT(alternative.release()));
    }
    if (html)
        return GObjectPtr<GMimeObject>(GMIME_OBJECT(html.release()));
    if (!plain)
        plain = MakeTextLeaf("plain", QByteArray(""), "utf-8", splices);
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(plain.release()));
}

// RFC 2231 value of a parameter, split into continuations of at most ~60
// octets that never cut a UTF-8 sequence (readers decode each piece alone).
QByteArray ExtendedParameter(const char* name, const QString& value)
{
    const QByteArray utf8 = U8(value);
    QList<QByteArray> pieces;
    QByteArray piece;
    qsizetype i = 0;
    while (i < utf8.size()) {
        qsizetype end = i + 1;
        while (end < utf8.size() && (static_cast<unsigned char>(utf8.at(end)) & 0xC0) == 0x80)
            ++end;
        QByteArray encoded;
        for (qsizetype k = i; k < end; ++k) {
            const auto u = static_cast<unsigned char>(utf8.at(k));
            const bool plain = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9')
                               || u == '-' || u == '.' || u == '_' || u == '~' || u == '!' || u == '+';
            encoded += plain ? QByteArray(1, char(u)) : ("%" + QByteArray::number(u, 16).toUpper().rightJustified(2, '0'));
        }
        if (piece.size() + encoded.size() > 60 && !piece.isEmpty()) {
            pieces << piece;
            piece.clear();
        }
        piece += encoded;
        i = end;
    }
    pieces << piece;
    QByteArray out;
    for (qsizetype n = 0; n < pieces.size(); ++n) {
        out += ";\n\t";
        out += name;
        if (pieces.size() > 1)
            out += "*" + QByteArray::number(n);
        out += "*=";
        if (n == 0)
            out += "UTF-8''";
        out += pieces.at(n);
    }
    return out;
}

QByteArray QuotedParameter(const char* name, const QString& value)
{
    QByteArray quoted = U8(value);
    quoted.replace("\\", "\\\\");
    quoted.replace("\"", "\\\"");
    return QByteArray(";\n\t") + name + "=\"" + quoted + "\"";
}

// Sets the disposition and the file name; the header text is written here so
// that non-ASCII names get RFC 2231 pieces cut on character boundaries.
void SetDispositionFileName(GMimeObject* object, const char* disposition, const QString& unsafeFileName)
{
    const QString fileName = HeaderSafe(unsafeFileName).trimmed();
    g_mime_object_set_disposition(object, disposition);
    if (fileName.isEmpty())
        return;
    const QByteArray name = U8(fileName);
    g_mime_object_set_content_disposition_parameter(object, "filename", name.constData());
    const bool ascii = IsPlainAscii(name) && name.size() <= 60;
    if (ascii)
        g_mime_object_set_content_type_parameter(object, "name", name.constData());
    GMimeHeaderList* headers = g_mime_object_get_header_list(object);
    GMimeHeader* header = g_mime_header_list_get_header(headers, "Content-Disposition");
    if (!header)
        return;
    QByteArray raw = QByteArray(" ") + disposition;
    raw += ascii ? QuotedParameter("filename", fileName) : ExtendedParameter("filename", fileName);
    raw += "\n";
    g_mime_header_set_raw_value(header, raw.constData());
}

GObjectPtr<GMimeObject> MakeAttachmentPart(const Attachment& attachment, bool inlineImage, LeafSplices* splices)
{
    switch (attachment.kind) {
    case Attachment::Kind::Embedded: {
        MessageContent empty;
        const MessageContent& inner = attachment.embedded ? *attachment.embedded : empty;
        auto innerMessage = ComposeMessageTree(inner, splices);
        auto part = AdoptGObject(g_mime_message_part_new_with_message("rfc822", innerMessage.get()));
        QString name = attachment.fileName;
        if (name.isEmpty())
            name = inner.subject.isEmpty() ? QStringLiteral("message") : inner.subject;
        if (!name.endsWith(QLatin1String(".eml"), Qt::CaseInsensitive))
            name += QLatin1String(".eml");
        SetDispositionFileName(GMIME_OBJECT(part.get()), "attachment", name);
        return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
    }
    case Attachment::Kind::Reference: {
        const QString text = QStringLiteral("Linked attachment (the file itself is not in the mailbox):\r\n%1\r\n")
                                 .arg(attachment.link.isEmpty() ? attachment.fileName : attachment.link);
        auto part = MakeTextLeaf("plain", U8(text), "utf-8", splices);
        QString name = attachment.fileName.isEmpty() ? QStringLiteral("link") : attachment.fileName;
        SetDispositionFileName(GMIME_OBJECT(part.get()), "attachment", name + QLatin1String(".txt"));
        return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
    }
    case Attachment::Kind::Data:
        break;
    }
    QByteArray type;
    QByteArray subtype;
    if (!SplitContentType(attachment.contentType, &type, &subtype)
        || (type == "multipart" || type == "message")) {
        const QString guessed = ContentTypeForFileName(attachment.fileName);
        SplitContentType(guessed, &type, &subtype);
    }
    auto part = AdoptGObject(g_mime_part_new_with_type(type.constData(), subtype.constData()));
    if (attachment.source) {
        // Large data is read from the mailbox while the file is written.
        auto stream = NewAttachmentStream(attachment.source);
        auto wrapper = AdoptGObject(g_mime_data_wrapper_new_with_stream(stream.get(), GMIME_CONTENT_ENCODING_DEFAULT));
        g_mime_part_set_content(part.get(), wrapper.get());
    } else {
        SetLeafContent(part.get(), attachment.data, GMIME_CONTENT_ENCODING_BASE64, splices);
    }
    g_mime_part_set_content_encoding(part.get(), GMIME_CONTENT_ENCODING_BASE64);
    if (type == "text") {
        const QByteArray charset = TextAttachmentCharset(attachment);
        if (!charset.isEmpty())
            g_mime_object_set_content_type_parameter(GMIME_OBJECT(part.get()), "charset", charset.constData());
    }
    SetDispositionFileName(GMIME_OBJECT(part.get()), inlineImage ? "inline" : "attachment", attachment.fileName);
    const QString contentId = ContentIdSafe(attachment.contentId);
    if (!contentId.isEmpty())
        g_mime_object_set_content_id(GMIME_OBJECT(part.get()), U8(contentId).constData());
    return GObjectPtr<GMimeObject>(GMIME_OBJECT(part.release()));
}

QSet<QString> ReferencedContentIds(const QByteArray& html)
{
    // The markers and the characters that end an identifier are ASCII, so
    // the bytes are searched as they are; only each identifier found is
    // decoded (and cut at a space beyond ASCII, should it hold one).
    QSet<QString> ids;
    const char* data = html.constData();
    const qsizetype size = html.size();
    auto endsIdentifier = [](char c) {
        return c == '"' || c == '\'' || c == ')' || c == '>' || c == ' ' || (c >= '\t' && c <= '\r');
    };
    for (qsizetype at = 0; at + 4 <= size; ++at) {
        if ((data[at] != 'c' && data[at] != 'C') || qstrnicmp(data + at, 4, "cid:", 4) != 0)
            continue;
        qsizetype end = at + 4;
        while (end < size && !endsIdentifier(data[end]))
            ++end;
        QString id = QString::fromUtf8(data + at + 4, end - at - 4);
        for (qsizetype i = 0; i < id.size(); ++i) {
            if (id.at(i).isSpace()) {
                id.truncate(i);
                end = at + 4 + id.toUtf8().size();  // the search goes on from the space
                break;
            }
        }
        ids.insert(id.toLower());
        at = end - 1;
    }
    return ids;
}

}  // namespace

QString ContentTypeForFileName(const QString& fileName)
{
    static const QHash<QString, QString> known = {
        {"txt", "text/plain"},         {"htm", "text/html"},        {"html", "text/html"},
        {"csv", "text/csv"},           {"xml", "application/xml"},  {"pdf", "application/pdf"},
        {"jpg", "image/jpeg"},         {"jpeg", "image/jpeg"},      {"png", "image/png"},
        {"gif", "image/gif"},          {"bmp", "image/bmp"},        {"tif", "image/tiff"},
        {"tiff", "image/tiff"},        {"svg", "image/svg+xml"},    {"zip", "application/zip"},
        {"rtf", "application/rtf"},    {"doc", "application/msword"},
        {"xls", "application/vnd.ms-excel"}, {"ppt", "application/vnd.ms-powerpoint"},
        {"docx", "application/vnd.openxmlformats-officedocument.wordprocessingml.document"},
        {"xlsx", "application/vnd.openxmlformats-officedocument.spreadsheetml.sheet"},
        {"pptx", "application/vnd.openxmlformats-officedocument.presentationml.presentation"},
        {"eml", "message/rfc822"},     {"ics", "text/calendar"},    {"vcf", "text/vcard"},
        {"mp3", "audio/mpeg"},         {"wav", "audio/wav"},        {"mp4", "video/mp4"},
    };
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    const QString type = known.value(suffix);
    // Embedded messages are composed as message parts; a data attachment never is.
    if (type.isEmpty() || type.startsWith(QLatin1String("message/")))
        return QStringLiteral("application/octet-stream");
    return type;
}

GObjectPtr<GMimeMessage> ComposeMessageTree(const MessageContent& content, LeafSplices* splices)
{
    EnsureGMimeReady();
    auto message = AdoptGObject(g_mime_message_new(TRUE));
    const GObjectPtr<GMimeMessage> stored = ParseTransportHeaders(content.transportHeaders);
    StoredFieldsKept kept;
    // The stored Date says when and in which zone the mail was sent; a
    // property holds only the instant.
    kept.date = stored && HeaderValue(GMIME_OBJECT(stored.get()), "Date") != nullptr
                && g_mime_message_get_date(stored.get()) != nullptr;
    // A recipients table without a single address to write gives way to the
    // stored To and Cc lines, which name the real addresses.
    const bool recipientsHaveAddresses =
        std::any_of(content.recipients.cbegin(), content.recipients.cend(), [](const Recipient& recipient) {
            return recipient.kind != RecipientKind::Bcc && recipient.mailbox.addrSpec().has_value();
        });
    kept.toAndCc = !recipientsHaveAddresses && stored
                   && (HeaderValue(GMIME_OBJECT(stored.get()), "To") != nullptr
                       || HeaderValue(GMIME_OBJECT(stored.get()), "Cc") != nullptr);
    if (content.from)
        AddAddress(g_mime_message_get_from(message.get()), *content.from);
    // Each list is filled apart and handed over whole: the message encodes
    // its header again at every change of a list it holds.
    const std::pair<RecipientKind, GMimeAddressType> kinds[] = {{RecipientKind::To, GMIME_ADDRESS_TYPE_TO},
                                                                {RecipientKind::Cc, GMIME_ADDRESS_TYPE_CC},
                                                                {RecipientKind::Bcc, GMIME_ADDRESS_TYPE_BCC}};
    for (const auto& [kind, type] : kinds) {
        if (kept.toAndCc && kind != RecipientKind::Bcc)
            continue;
        auto list = AdoptGObject(internet_address_list_new());
        for (const Recipient& recipient : content.recipients) {
            if (recipient.kind == kind)
                AddAddress(list.get(), recipient.mailbox);
        }
        if (internet_address_list_length(list.get()) > 0)
            internet_address_list_append(g_mime_message_get_addresses(message.get(), type), list.get());
    }
    // Names beyond ASCII in encoded-words of this program's own cutting; the
    // stored To and Cc, when kept, are encoded as they are copied.
    const std::pair<const char*, GMimeAddressType> own[] = {{"From", GMIME_ADDRESS_TYPE_FROM},
                                                            {"To", GMIME_ADDRESS_TYPE_TO},
                                                            {"Cc", GMIME_ADDRESS_TYPE_CC},
                                                            {"Bcc", GMIME_ADDRESS_TYPE_BCC}};
    for (const auto& [name, type] : own) {
        if (!kept.toAndCc || type == GMIME_ADDRESS_TYPE_FROM || type == GMIME_ADDRESS_TYPE_BCC)
            EncodeAddressHeader(GMIME_OBJECT(message.get()), name, g_mime_message_get_addresses(message.get(), type));
    }
    if (!content.subject.isNull()) {
        g_mime_message_set_subject(message.get(), U8(HeaderSafe(content.subject)).constData(), "utf-8");
        EncodeHeaderValue(GMIME_OBJECT(message.get()), "Subject");
    }
    if (!kept.date && content.date && content.date->isValid()) {
        GDateTimePtr date(g_date_time_new_from_unix_utc(content.date->toSecsSinceEpoch()));
        if (date)
            g_mime_message_set_date(message.get(), date.get());
    }
    CopyTransportHeaders(message.get(), stored.get(), kept);
    AddHeadersFromProperties(message.get(), content.headerProperties);
    // A file that lacks something says so itself, whoever reads it later.
    if (!content.missing.empty()) {
        const QString text = QStringLiteral("missing ") + HeaderSafe(WordsFor(content.missing).join(QStringLiteral("; ")));
        g_mime_object_append_header(GMIME_OBJECT(message.get()), kIncompleteHeader, U8(text).constData(), "utf-8");
        EncodeHeaderValue(GMIME_OBJECT(message.get()), kIncompleteHeader);
    }

    GObjectPtr<GMimeObject> body = MakeBodyPart(content, splices);
    // Only an attachment with a content identifier can be an inline image.
    const bool anyContentId = std::any_of(content.attachments.begin(), content.attachments.end(),
                                          [](const Attachment& attachment) { return !attachment.contentId.isEmpty(); });
    const QSet<QString> referenced =
        content.htmlBody.isNull() || !anyContentId ? QSet<QString>() : ReferencedContentIds(content.htmlBody);
    std::vector<GObjectPtr<GMimeObject>> related;
    std::vector<GObjectPtr<GMimeObject>> mixed;
    for (const Attachment& attachment : content.attachments) {
        const bool inlineImage = attachment.kind == Attachment::Kind::Data && !attachment.contentId.isEmpty()
                                 && referenced.contains(attachment.contentId.toLower());
        auto part = MakeAttachmentPart(attachment, inlineImage, splices);
        (inlineImage ? related : mixed).push_back(std::move(part));
    }
    if (!related.empty()) {
        auto multipart = AdoptGObject(g_mime_multipart_new_with_subtype("related"));
        GMimeContentType* bodyType = g_mime_object_get_content_type(body.get());
        GCharPtr bodyMime(g_mime_content_type_get_mime_type(bodyType));
        g_mime_object_set_content_type_parameter(GMIME_OBJECT(multipart.get()), "type", bodyMime.get());
        g_mime_multipart_add(multipart.get(), body.get());
        for (auto& part : related)
            g_mime_multipart_add(multipart.get(), part.get());
        body.reset(GMIME_OBJECT(multipart.release()));
    }
    if (!mixed.empty()) {
        auto multipart = AdoptGObject(g_mime_multipart_new_with_subtype("mixed"));
        g_mime_multipart_add(multipart.get(), body.get());
        for (auto& part : mixed)
            g_mime_multipart_add(multipart.get(), part.get());
        body.reset(GMIME_OBJECT(multipart.release()));
    }
    g_mime_message_set_mime_part(message.get(), body.get());
    return message;
}

namespace {

FormatOptionsPtr FileFormatOptions()
{
    FormatOptionsPtr options(g_mime_format_options_new());
    g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_set_param_encoding_method(options.get(), GMIME_PARAM_ENCODING_METHOD_RFC2231);
    return options;
}

void CollectSources(const MessageContent& content, std::vector<std::shared_ptr<AttachmentSource>>& sources)
{
    for (const Attachment& attachment : content.attachments) {
        if (attachment.source)
            sources.push_back(attachment.source);
        if (attachment.embedded)
            CollectSources(*attachment.embedded, sources);
    }
}

}  // namespace

std::vector<std::shared_ptr<AttachmentSource>> StreamedSources(const MessageContent& content)
{
    std::vector<std::shared_ptr<AttachmentSource>> sources;
    CollectSources(content, sources);
    return sources;
}

Expected<void, ComposeError> WriteMessageToDescriptor(GMimeMessage* message, int fd)
{
    auto file = AdoptGObject(g_mime_stream_fs_new(fd));
    g_mime_stream_fs_set_owner(GMIME_STREAM_FS(file.get()), FALSE);
    auto buffered = AdoptGObject(g_mime_stream_buffer_new(file.get(), GMIME_STREAM_BUFFER_BLOCK_WRITE));
    const FormatOptionsPtr options = FileFormatOptions();
    errno = 0;
    const bool written = g_mime_object_write_to_stream(GMIME_OBJECT(message), options.get(), buffered.get()) >= 0
                         && g_mime_stream_flush(buffered.get()) == 0;
    if (written)
        return {};
    // A source that failed says why; else the write to the file failed.
    const int error = errno;
    return Failed(ComposeError{error != 0 ? ErrnoText(error) : QStringLiteral("the message could not be written")});
}

GObjectPtr<GMimeMessage> ComposeMessage(const MessageContent& content)
{
    auto message = ComposeMessageTree(content, nullptr);
    SetDerivedBoundaries(message.get(), content.boundarySeed, nullptr);
    return message;
}

namespace {

// What GMime wrote, read in place in its own buffer, which lives as long as
// the stream.
class WrittenInMemory {
public:
    explicit WrittenInMemory(GMimeMessage* message)
        : stream_(AdoptGObject(g_mime_stream_mem_new()))
    {
        const FormatOptionsPtr options = FileFormatOptions();
        g_mime_object_write_to_stream(GMIME_OBJECT(message), options.get(), stream_.get());
    }
    QByteArrayView bytes() const
    {
        const GByteArray* written = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream_.get()));
        return QByteArrayView(reinterpret_cast<const char*>(written->data), static_cast<qsizetype>(written->len));
    }

private:
    GObjectPtr<GMimeStream> stream_;
};

// The bodies and attachment data a composed tree no longer needs: GMime
// holds what it was given, the splices the bodies. (Embedded messages are
// shared with whoever read them and stay.)
void ReleaseBodies(MessageContent& content)
{
    content.plainBody = QByteArray();
    content.htmlBody = QByteArray();
    for (Attachment& attachment : content.attachments)
        attachment.data = QByteArray();
}

}  // namespace

Expected<QByteArray, ComposeError> ComposeMessageBytes(MessageContent content)
{
    // GMime writes headers and structure around stand-ins; the bodies go in
    // afterwards, already encoded with CRLF line ends. A body is thus held
    // at most twice: encoded for its splice, and in the finished message.
    LeafSplices splices;
    auto message = ComposeMessageTree(content, &splices);
    SetDerivedBoundaries(message.get(), content.boundarySeed, &splices);
    ReleaseBodies(content);
    const WrittenInMemory written(message.get());
    message.reset();
    if (splices.empty())
        return written.bytes().toByteArray();
    QByteArray whole = splices.Apply(written.bytes());
    // Only if GMime changed a stand-in it was given, which it does not: the
    // message is then not saved rather than written another way.
    if (whole.isEmpty())
        return Failed(ComposeError{QStringLiteral("the composed message could not be put together")});
    return whole;
}

}  // namespace tolvane
