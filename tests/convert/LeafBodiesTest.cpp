// The bodies the composer encodes and splices itself must be byte for byte
// what GMime's own filters make of them, and a whole message put together
// that way must equal the message GMime writes alone.
#include "convert/compose/GMimeHandles.h"
#include "convert/compose/LeafBodies.h"
#include "model/CalendarContent.h"
#include "model/MailContent.h"
#include "convert/compose/MimeComposer.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <memory>

namespace tolvane {
namespace {

// What GMime's best-encoding filter decides for the bytes, fed as a stream would.
GMimeContentEncoding GMimeBestEncoding(const QByteArray& bytes)
{
    auto filter = AdoptGObject(g_mime_filter_best_new(GMIME_FILTER_BEST_ENCODING));
    auto sink = AdoptGObject(g_mime_stream_null_new());
    auto filtered = AdoptGObject(g_mime_stream_filter_new(sink.get()));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), filter.get());
    g_mime_stream_write(filtered.get(), bytes.constData(), static_cast<size_t>(bytes.size()));
    g_mime_stream_flush(filtered.get());
    return g_mime_filter_best_encoding(GMIME_FILTER_BEST(filter.get()), GMIME_ENCODING_CONSTRAINT_7BIT);
}

// What GMime writes for the bytes as a part's content in a file: its encoder
// filter, then its DOS line-end filter, in small pieces.
QByteArray GMimeEncodedForFile(const QByteArray& bytes, GMimeContentEncoding encoding)
{
    auto target = AdoptGObject(g_mime_stream_mem_new());
    auto filtered = AdoptGObject(g_mime_stream_filter_new(target.get()));
    if (encoding == GMIME_CONTENT_ENCODING_BASE64 || encoding == GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE) {
        auto encoder = AdoptGObject(g_mime_filter_basic_new(encoding, TRUE));
        g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), encoder.get());
    }
    auto lineEnds = AdoptGObject(g_mime_filter_unix2dos_new(FALSE));
    g_mime_stream_filter_add(GMIME_STREAM_FILTER(filtered.get()), lineEnds.get());
    for (qsizetype at = 0; at < bytes.size(); at += 7)
        g_mime_stream_write(filtered.get(), bytes.constData() + at, static_cast<size_t>(std::min<qsizetype>(7, bytes.size() - at)));
    g_mime_stream_flush(filtered.get());
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(target.get()));
    return QByteArray(reinterpret_cast<const char*>(array->data), static_cast<qsizetype>(array->len));
}

QByteArray Repeated(char c, int count)
{
    return QByteArray(count, c);
}

// Texts at the edges of every rule: line lengths, "From " lines, NUL and
// 8-bit shares, and every kind of line end.
std::vector<std::pair<const char*, QByteArray>> Texts()
{
    QByteArray share16;  // 16 of 100 bytes 8-bit: under the 17 % that turns to base64
    share16 = Repeated('a', 84) + Repeated('\xe9', 16);
    QByteArray share17 = Repeated('a', 83) + Repeated('\xe9', 17);
    return {
        {"empty", QByteArray("")},
        {"one word", QByteArray("hello")},
        {"LF lines", QByteArray("one\ntwo\nthree\n")},
        {"CRLF lines", QByteArray("one\r\ntwo\r\n")},
        {"leading LF", QByteArray("\nafter")},
        {"bare CR kept", QByteArray("a\rb\nc\r")},
        {"line of 998", Repeated('x', 998)},
        {"line of 999", Repeated('x', 999)},
        {"998 then CR", QByteArray("x\n") + Repeated('y', 997) + "\r\n"},
        {"long line after short ones", QByteArray("short\n") + Repeated('z', 1200) + "\nend"},
        {"short lines adding past 998", Repeated('a', 600) + "\n" + Repeated('b', 600)},
        {"From at start", QByteArray("From me\nhello")},
        {"From later", QByteArray("hello\nFrom me\n")},
        {"From without space", QByteArray("hello\nFromage\n")},
        {"quoted From", QByteArray("hello\n>From me\n")},
        {"From cut at the end", QByteArray("hello\nFrom")},
        {"NUL", QByteArray("a\0b", 3)},
        {"16 % 8-bit", share16},
        {"17 % 8-bit", share17},
        {"UTF-8 text", QByteArray("Gr\xc3\xbc\xc3\x9f" "e aus K\xc3\xb6ln\r\n= sign and trailing space \n")},
        {"binary", QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16) + Repeated('\xff', 300)},
    };
}

TEST(LeafBodiesTest, EncodingChoiceIsGMimes)
{
    EnsureGMimeReady();
    for (const auto& [name, text] : Texts())
        EXPECT_EQ(BestTextEncoding(text), GMimeBestEncoding(text)) << name;
}

TEST(LeafBodiesTest, EncodedBodiesAreWhatGMimeWrites)
{
    EnsureGMimeReady();
    for (const auto& [name, text] : Texts()) {
        for (GMimeContentEncoding encoding : {GMIME_CONTENT_ENCODING_DEFAULT, GMIME_CONTENT_ENCODING_QUOTEDPRINTABLE,
                                              GMIME_CONTENT_ENCODING_BASE64}) {
            EXPECT_EQ(EncodedWithCrlf(text, encoding), GMimeEncodedForFile(text, encoding))
                << name << ", encoding " << encoding;
        }
    }
}

TEST(LeafBodiesTest, SplicesGoBackInTheirPlacesAndAMissingOneIsRefused)
{
    LeafSplices splices;
    const QByteArray first = splices.Add("body one\r\n");
    const QByteArray second = splices.Add("body two");
    ASSERT_TRUE(first.endsWith('\n'));
    ASSERT_FALSE(second.endsWith('\n'));
    QByteArray written = "head\r\n" + first.chopped(1) + "\r\nmiddle\r\n" + second + "\r\ntail";
    EXPECT_EQ(splices.Apply(written), QByteArray("head\r\nbody one\r\nmiddle\r\nbody two\r\ntail"));
    // Written in another order than added (a tree whose parts were made in
    // another order): each goes back in its own place.
    EXPECT_EQ(splices.Apply("head\r\n" + second + "\r\n" + first.chopped(1) + "\r\n"),
              QByteArray("head\r\nbody two\r\nbody one\r\n"));
    // One missing: nothing rather than a wrong message.
    EXPECT_TRUE(splices.Apply("head\r\n" + first.chopped(1) + "\r\n").isEmpty());
}

QByteArray WithNamedBoundaries(QByteArray message)
{
    static const QRegularExpression boundary(QStringLiteral("boundary=\"([^\"]+)\""));
    QStringList names;
    auto matches = boundary.globalMatch(QString::fromLatin1(message));
    while (matches.hasNext())
        names << matches.next().captured(1);
    for (int i = 0; i < names.size(); ++i)
        message.replace(names.at(i).toLatin1(), "BOUNDARY-" + QByteArray::number(i));
    return message;
}

QByteArray WrittenByGMimeAlone(const MessageContent& content)
{
    auto message = ComposeMessage(content);
    GMimeFormatOptions* options = g_mime_format_options_new();
    g_mime_format_options_set_newline_format(options, GMIME_NEWLINE_FORMAT_DOS);
    g_mime_format_options_set_param_encoding_method(options, GMIME_PARAM_ENCODING_METHOD_RFC2231);
    auto stream = AdoptGObject(g_mime_stream_mem_new());
    g_mime_object_write_to_stream(GMIME_OBJECT(message.get()), options, stream.get());
    g_mime_format_options_free(options);
    GByteArray* array = g_mime_stream_mem_get_byte_array(GMIME_STREAM_MEM(stream.get()));
    return QByteArray(reinterpret_cast<const char*>(array->data), static_cast<qsizetype>(array->len));
}

Attachment DataAttachment(const QString& name, QByteArray data, const QString& contentId = {})
{
    Attachment attachment;
    attachment.kind = Attachment::Kind::Data;
    attachment.fileName = name;
    attachment.data = std::move(data);
    attachment.contentId = contentId;
    return attachment;
}

TEST(LeafBodiesTest, ComposedMessagesAreWhatGMimeWritesAlone)
{
    MessageContent inner;
    inner.subject = QStringLiteral("Inner");
    inner.plainBody = "inner text without a line end";
    inner.attachments.push_back(DataAttachment(QStringLiteral("in.bin"), QByteArray("\0\1\2", 3)));

    std::vector<std::pair<const char*, MessageContent>> messages;
    for (const auto& [name, text] : Texts()) {
        MessageContent content;
        content.subject = QString::fromLatin1(name);
        content.plainBody = text;
        messages.emplace_back(name, content);
    }
    MessageContent everything;
    everything.subject = QStringLiteral("Everything");
    everything.plainBody = "plain\nFrom here\n";
    everything.htmlBody = "<html><body><img src=\"cid:pic@x\">caf\xc3\xa9</body></html>";
    everything.attachments.push_back(DataAttachment(QStringLiteral("pic.png"), Repeated('\x89', 5000), QStringLiteral("pic@x")));
    everything.attachments.push_back(DataAttachment(QStringLiteral("empty.txt"), QByteArray("")));
    everything.attachments.push_back(DataAttachment(QStringLiteral("ends in CR.txt"), QByteArray("line\r")));
    Attachment embedded;
    embedded.kind = Attachment::Kind::Embedded;
    embedded.embedded = std::make_shared<MessageContent>(inner);
    everything.attachments.push_back(embedded);
    messages.emplace_back("everything", everything);
    MessageContent meeting;
    MeetingMessage request;
    request.event.subject = QStringLiteral("Planning");
    request.event.start = QDateTime(QDate(2026, 3, 3), QTime(9, 0), Qt::UTC);
    request.event.end = QDateTime(QDate(2026, 3, 3), QTime(10, 0), Qt::UTC);
    meeting.meeting = std::make_shared<const MeetingMessage>(request);
    messages.emplace_back("meeting without text", meeting);

    for (const auto& [name, content] : messages) {
        EXPECT_EQ(WithNamedBoundaries(ComposeMessageBytes(content).value()), WithNamedBoundaries(WrittenByGMimeAlone(content)))
            << name;
    }
}

}  // namespace
}  // namespace tolvane
