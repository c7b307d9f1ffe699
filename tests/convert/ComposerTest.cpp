// Composition of messages from in-memory content, read back by GMime and by
// Python's email package.
#include "scan/ScanTexts.h"
#include "scan/TimeText.h"
#include "tests/convert/ConvertTestSupport.h"

#include "model/MailContent.h"
#include "convert/read/MailboxReader.h"
#include "convert/compose/MimeComposer.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QRegularExpression>

namespace tolvane {
namespace {

using testing::AddressesText;
using testing::HeaderText;
using testing::ParseWithGMime;
using testing::Parts;

TEST(SenderRuleTest, AddressDecidesBetweenMailboxAndNameAlone)
{
    const struct {
        const char* name;
        const char* address;
        const char* expected;  // the From header as GMime reads it back
    } cases[] = {
        {"Ann Smith", "ann@example.com", "Ann Smith <ann@example.com>"},
        {"Smith, Ann", "ann@example.com", "Smith  Ann <ann@example.com>"},
        {"Ann /Smith <x>", "/O=ORG/OU=SITE/CN=RECIPIENTS/CN=ANN", "Ann Smith x <no-address@unknown.invalid>"},
        {"Ann, Smith", "Unknown", "Ann  Smith <no-address@unknown.invalid>"},
        {"", "ann@", ""},
        {"Jörg Ölsen", "joerg@example.com", "Jörg Ölsen <joerg@example.com>"},
    };
    for (const auto& c : cases) {
        MessageContent content;
        content.from = Mailbox{QString::fromUtf8(c.name), QString::fromUtf8(c.address)};
        const QByteArray bytes = ComposeMessageBytes(content).value();
        auto message = ParseWithGMime(bytes);
        ASSERT_TRUE(message);
        EXPECT_EQ(AddressesText(g_mime_message_get_from(message.get())), QString::fromUtf8(c.expected)) << c.name;
        // Never raw 8-bit header bytes.
        const QByteArray headers = bytes.left(bytes.indexOf("\r\n\r\n"));
        for (char byte : headers)
            ASSERT_GE(static_cast<signed char>(byte), 0) << c.name;
    }
}

TEST(ComposerTest, EveryFieldComesBackThroughGMime)
{
    MessageContent content;
    content.from = Mailbox{"Ann", "ann@example.com"};
    content.recipients = {{RecipientKind::To, {QString::fromUtf8("Bø To"), "to@example.com"}},
                          {RecipientKind::Cc, {"Cee", "cc@example.com"}},
                          {RecipientKind::Bcc, {"Bee", "bcc@example.com"}}};
    content.subject = QString::fromUtf8("Grüße aus Köln – 日本語 ") + QString(300, u'z');
    content.date = QDateTime(QDate(2021, 3, 5), QTime(14, 7, 9), Qt::UTC);
    content.plainBody = QString::fromUtf8("plain ünï\r\n").toUtf8();
    content.htmlBody = QString::fromUtf8("<p>html ünï <img src=\"cid:img1@x\"></p>").toUtf8();
    content.htmlCharset = "utf-8";
    Attachment image;
    image.fileName = "pic.png";
    image.contentId = "img1@x";
    image.data = QByteArray("\x89PNG\r\n\x1a\n\0\0", 10);
    Attachment document;
    document.fileName = QString::fromUtf8("Prüfbericht über die Prüfung der Prüfgeräte 2021.pdf");
    document.data = QByteArray(5000, '\0');
    Attachment link;
    link.kind = Attachment::Kind::Reference;
    link.fileName = "plan.docx";
    link.link = "\\\\server\\share\\plan.docx";
    content.attachments = {image, document, link};
    content.transportHeaders = "Received: from a by b; Mon, 1 Mar 2021 10:00:00 +0000\r\n"
                               "Message-ID: <abc@example.com>\r\nIn-Reply-To: <prev@example.com>\r\n"
                               "References: <first@example.com> <prev@example.com>\r\n"
                               "Content-Type: text/plain; charset=us-ascii\r\nMIME-Version: 1.0\r\n"
                               "Subject: old\r\n\r\n";

    auto message = ParseWithGMime(ComposeMessageBytes(content).value());
    ASSERT_TRUE(message);
    EXPECT_EQ(QString::fromUtf8(g_mime_message_get_subject(message.get())), content.subject);
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO)),
              QString::fromUtf8("Bø To <to@example.com>"));
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_CC)), "Cee <cc@example.com>");
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_BCC)), "Bee <bcc@example.com>");
    GDateTime* date = g_mime_message_get_date(message.get());
    ASSERT_NE(date, nullptr);
    EXPECT_EQ(g_date_time_to_unix(date), content.date->toSecsSinceEpoch());
    EXPECT_STREQ(g_mime_message_get_message_id(message.get()), "abc@example.com");
    EXPECT_EQ(HeaderText(message.get(), "In-Reply-To"), "<prev@example.com>");
    EXPECT_EQ(HeaderText(message.get(), "References"), "<first@example.com> <prev@example.com>");
    EXPECT_TRUE(HeaderText(message.get(), "Received").startsWith("from a by b"));

    const auto parts = Parts(message.get());
    QStringList types;
    for (const auto& part : parts)
        types << part.contentType;
    EXPECT_EQ(types.join(','), "multipart/mixed,multipart/related,multipart/alternative,text/plain,text/html,"
                               "image/png,application/pdf,text/plain");
    EXPECT_EQ(parts[3].content, content.plainBody);
    EXPECT_EQ(parts[4].content, content.htmlBody);
    EXPECT_EQ(parts[5].contentId, "img1@x");
    EXPECT_EQ(parts[5].content, image.data);
    EXPECT_EQ(parts[6].fileName, document.fileName);
    EXPECT_EQ(parts[6].content, document.data);
    EXPECT_TRUE(QString::fromUtf8(parts[7].content).contains("\\\\server\\share\\plan.docx"));
}

TEST(ComposerTest, NoDateHeaderWithoutATimeAndAnEmptyBodyStillParses)
{
    MessageContent content;
    auto message = ParseWithGMime(ComposeMessageBytes(content).value());
    ASSERT_TRUE(message);
    EXPECT_EQ(g_mime_message_get_date(message.get()), nullptr);
    EXPECT_EQ(g_mime_object_get_header(GMIME_OBJECT(message.get()), "Date"), nullptr);
}

TEST(ComposerTest, EmbeddedMessagesNestAsMessageParts)
{
    auto inner = std::make_shared<MessageContent>();
    inner->subject = "Level two";
    inner->plainBody = "deepest";
    auto middle = std::make_shared<MessageContent>();
    middle->subject = "Level one";
    middle->plainBody = "middle";
    Attachment innerAttachment;
    innerAttachment.kind = Attachment::Kind::Embedded;
    innerAttachment.embedded = inner;
    middle->attachments = {innerAttachment};
    MessageContent outer;
    outer.subject = "Top";
    outer.plainBody = "top";
    Attachment middleAttachment;
    middleAttachment.kind = Attachment::Kind::Embedded;
    middleAttachment.embedded = middle;
    outer.attachments = {middleAttachment};
    EXPECT_EQ(CountEmbeddedMessages(outer), 2);

    auto message = ParseWithGMime(ComposeMessageBytes(outer).value());
    ASSERT_TRUE(message);
    GMimeMessage* level = message.get();
    for (const char* subject : {"Level one", "Level two"}) {
        GMimeMessage* next = nullptr;
        for (const auto& part : Parts(level)) {
            if (part.embedded) {
                next = part.embedded;
                break;
            }
        }
        ASSERT_NE(next, nullptr) << subject;
        EXPECT_STREQ(g_mime_message_get_subject(next), subject);
        level = next;
    }
}

TEST(ComposerTest, PythonReadsComposedMessagesWithoutDefects)
{
    QTemporaryDir temp;
    const QString names[] = {QString::fromUtf8("Résumé ") + QString(120, QChar(0x4E2D)), "plain.txt", "a \"quoted\" name.bin"};
    int index = 0;
    for (const QString& name : names) {
        MessageContent content;
        content.from = Mailbox{QString::fromUtf8("Zoë, van der Berg"), "zoe@example.com"};
        content.recipients = {{RecipientKind::To, {"No Address", ""}}, {RecipientKind::To, {"", "x@example.com"}}};
        content.subject = QString::fromUtf8("\xE2\x9C\x93 ") + name;
        content.plainBody = QString(5000, u'y').toUtf8();
        content.htmlBody = QByteArray("<p>") + QByteArray(3000, 'h') + "</p>";
        content.htmlCharset = "utf-8";
        Attachment attachment;
        attachment.fileName = name;
        attachment.data = QByteArray(100, '\xff');
        content.attachments = {attachment};
        QFile file(temp.filePath(QString::number(++index) + ".eml"));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(ComposeMessageBytes(content).value());
    }
    EXPECT_EQ(testing::PythonEmailDefects(temp.path()), QString());
}

// One header of composed bytes, unfolded (its line ends and the white space
// that starts each folded line's continuation kept, as RFC 5322 unfolds).
QByteArray RawHeader(const QByteArray& bytes, const char* name)
{
    const QByteArray head = "\r\n" + bytes.left(bytes.indexOf("\r\n\r\n") + 2);
    const qsizetype start = head.indexOf("\r\n" + QByteArray(name) + ":");
    if (start < 0)
        return {};
    qsizetype end = start + 2;
    do {
        end = head.indexOf("\r\n", end + 1);
    } while (end + 2 < head.size() && (head.at(end + 2) == ' ' || head.at(end + 2) == '\t'));
    return head.mid(start + 2, end - start - 2);
}

struct EncodedWord {
    QByteArray charset;
    char encoding = 'B';
    QByteArray text;
    qsizetype start = 0;
    qsizetype end = 0;
};

QList<EncodedWord> EncodedWords(const QByteArray& value)
{
    static const QRegularExpression word(R"(=\?([^?\s]+)\?([BbQq])\?([^?\s]*)\?=)");
    QList<EncodedWord> words;
    auto found = word.globalMatch(QString::fromLatin1(value));
    while (found.hasNext()) {
        const auto match = found.next();
        words << EncodedWord{match.captured(1).toLatin1().toUpper(), match.captured(2).toUpper().at(0).toLatin1(),
                             match.captured(3).toLatin1(), match.capturedStart(), match.capturedEnd()};
    }
    return words;
}

QByteArray DecodedWord(const EncodedWord& word)
{
    if (word.encoding == 'B')
        return QByteArray::fromBase64(word.text);
    QByteArray bytes;
    for (qsizetype i = 0; i < word.text.size(); ++i) {
        if (word.text.at(i) == '=' && i + 2 < word.text.size()) {
            bytes += QByteArray::fromHex(word.text.mid(i + 1, 2));
            i += 2;
        } else {
            bytes += word.text.at(i) == '_' ? ' ' : word.text.at(i);
        }
    }
    return bytes;
}

QStringList DisplayNames(InternetAddressList* list)
{
    QStringList names;
    for (int i = 0; i < internet_address_list_length(list); ++i)
        names << QString::fromUtf8(internet_address_get_name(internet_address_list_get_address(list, i))).simplified();
    return names;
}

// What readers that join adjacent encoded-words before decoding need:
// padding only on the last base64 word of a run of one charset, no word
// splitting a character, words within 75 characters and lines within 78.
void ExpectWordsEveryReaderJoins(const QByteArray& header)
{
    SCOPED_TRACE(header.toStdString());
    for (const QByteArray& line : header.split('\n'))
        EXPECT_LE(line.size(), 79);  // 78 and the CR
    const QByteArray unfolded = QByteArray(header).replace("\r\n", "");
    const QList<EncodedWord> words = EncodedWords(unfolded);
    ASSERT_FALSE(words.isEmpty());
    for (qsizetype i = 0; i < words.size(); ++i) {
        const EncodedWord& word = words[i];
        EXPECT_LE(word.end - word.start, 75);
        EXPECT_TRUE(QByteArrayView(DecodedWord(word)).isValidUtf8()) << word.text.toStdString();
        const bool joinedToNext = i + 1 < words.size()
                                  && unfolded.mid(word.end, words[i + 1].start - word.end).trimmed().isEmpty()
                                  && words[i + 1].encoding == word.encoding && words[i + 1].charset == word.charset;
        if (joinedToNext && word.encoding == 'B')
            EXPECT_FALSE(word.text.endsWith('=')) << "padding inside a run: " << word.text.toStdString();
    }
}

// Subjects and names beyond ASCII long enough for several encoded-words: every
// run pads at its end alone, and GMime (which joins the words of a run before
// decoding, as notmuch and mu do through it) and Python's email package both
// read the text back whole.
TEST(EncodedWordsTest, RunsPadOnlyAtTheirEndAndEveryReaderGetsTheWholeText)
{
    const char* const texts[] = {
        "Встреча в понедельник",
        "Встреча в понедельник: обсуждение квартального отчёта и планов отдела продаж на следующий год",
        "会議の議事録と来週の予定についてのお知らせです。ご確認のほどよろしくお願いいたします。",
        "a会議の議事録と来週の予定についてのお知らせです。ご確認のほどよろしくお願いいたします。",
        "🎉🎂🎈🎁🎊🥳 Party 🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉🎉 for everyone 🎉🎂",
        "Re: Grüße aus Köln – Встреча 日本語 🎉 and a plain tail of words that goes on for a while",
        "Überprüfung der Ergebnisse des letzten Quartals und Planung für das nächste Jahr",
        "Ωmega =?utf-8?q?not_a_word?= (x) \"quoted\"  two  spaces",
    };
    QTemporaryDir temp;
    ASSERT_TRUE(temp.isValid());
    int index = 0;
    for (const char* text : texts) {
        SCOPED_TRACE(text);
        const QString original = QString::fromUtf8(text);
        // A display name cannot hold the stand-in's specials; the subject holds them all.
        const QString name = QString(original).remove(u'"').remove(u'(').remove(u')');
        MessageContent content;
        content.subject = original;
        content.from = Mailbox{name, "from@example.com"};
        content.recipients = {{RecipientKind::To, {name, "to@example.com"}},
                              {RecipientKind::To, {"Plain Name", "plain@example.com"}}};
        content.headerProperties.threadTopic = original;
        const QByteArray bytes = ComposeMessageBytes(content).value();
        for (const char* header : {"Subject", "From", "To", "Thread-Topic"}) {
            SCOPED_TRACE(header);
            ExpectWordsEveryReaderJoins(RawHeader(bytes, header));
        }

        auto message = ParseWithGMime(bytes);
        ASSERT_TRUE(message);
        const QByteArray subjectValue = RawHeader(bytes, "Subject").mid(8).replace("\r\n", "");
        GCharPtr decoded(g_mime_utils_header_decode_text(nullptr, subjectValue.constData()));
        EXPECT_EQ(QString::fromUtf8(decoded.get()).trimmed(), original) << RawHeader(bytes, "Subject").toStdString();
        EXPECT_EQ(QString::fromUtf8(g_mime_message_get_subject(message.get())), original);
        // GMime keeps a fold inside a name as it is: compared without it.
        EXPECT_EQ(DisplayNames(g_mime_message_get_from(message.get())), QStringList{name.simplified()})
            << RawHeader(bytes, "From").toStdString();
        EXPECT_EQ(DisplayNames(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO)),
                  (QStringList{name.simplified(), "Plain Name"}));

        const QString file = temp.filePath(QString::number(++index) + ".eml");
        QFile out(file);
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(bytes);
        out.close();
        QProcess python;
        python.start("python3", {TOLVANE_SOURCE_DIR "/tests/convert/read_headers.py", file, "Subject", "From", "To",
                                 "Thread-Topic"});
        ASSERT_TRUE(python.waitForFinished(60000));
        const QJsonObject read = QJsonDocument::fromJson(python.readAllStandardOutput()).object();
        EXPECT_EQ(read.value("Subject").toArray().first().toObject().value("text").toString(), original);
        EXPECT_EQ(read.value("Thread-Topic").toArray().first().toObject().value("text").toString(), original);
        // In a phrase, Python keeps the white space between adjacent
        // encoded-words (RFC 2047 says to drop it): its names may hold more.
        const auto withoutSpaces = [](QString text) { return text.remove(u' '); };
        const QJsonArray to = read.value("To").toArray().first().toObject().value("addresses").toArray();
        ASSERT_EQ(to.size(), 2);
        EXPECT_EQ(withoutSpaces(to.at(0).toArray().at(0).toString()), withoutSpaces(name));
        const QJsonArray from = read.value("From").toArray().first().toObject().value("addresses").toArray();
        ASSERT_EQ(from.size(), 1);
        EXPECT_EQ(withoutSpaces(from.at(0).toArray().at(0).toString()), withoutSpaces(name));
    }
    EXPECT_EQ(testing::PythonEmailDefects(temp.path()), QString());
}

// A subject in plain ASCII is written exactly as GMime writes it by itself.
TEST(EncodedWordsTest, AsciiSubjectsAreWrittenAsGMimeWritesThem)
{
    const QString subjects[] = {
        "Hello",
        "Re: a long subject " + QString("word ").repeated(40),
        "looks like =?utf-8?q?an_encoded_word?= but is not",
        QString(120, u'x'),
    };
    EnsureGMimeReady();
    for (const QString& subject : subjects) {
        MessageContent content;
        content.subject = subject;
        auto own = AdoptGObject(g_mime_message_new(TRUE));
        g_mime_message_set_subject(own.get(), subject.toUtf8().constData(), "utf-8");
        FormatOptionsPtr options(g_mime_format_options_new());
        g_mime_format_options_set_newline_format(options.get(), GMIME_NEWLINE_FORMAT_DOS);
        GCharPtr written(g_mime_object_to_string(GMIME_OBJECT(own.get()), options.get()));
        EXPECT_EQ(RawHeader(ComposeMessageBytes(content).value(), "Subject"), RawHeader(QByteArray(written.get()), "Subject"))
            << subject.toStdString();
    }
}

TEST(RecordFallbackTest, TheRecordAloneStillGivesAUsableMessage)
{
    MailRecord record;
    record.senderName = "Smith, Ann";
    record.senderAddress = "/O=ORG/CN=ANN";
    record.recipients = {"Bob", "Carl"};
    record.subject = "Minutes";
    record.creationTime = std::nullopt;
    record.modificationTime = FileTime{DateTimeToFiletime(QDateTime(QDate(2021, 3, 5), QTime(14, 7, 9), Qt::UTC))};
    record.body = StoredText::fromString("<p>kept body</p>");
    record.bodyKind = BodyKind::Html;
    const MessageContent content = ContentFromRecord(record);
    auto message = ParseWithGMime(ComposeMessageBytes(content).value());
    ASSERT_TRUE(message);
    EXPECT_EQ(AddressesText(g_mime_message_get_from(message.get())), "Smith  Ann <no-address@unknown.invalid>");
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO)), "Bob <no-address@unknown.invalid>, Carl <no-address@unknown.invalid>");
    ASSERT_NE(g_mime_message_get_date(message.get()), nullptr);
    EXPECT_EQ(g_date_time_to_unix(g_mime_message_get_date(message.get())),
              QDateTime(QDate(2021, 3, 5), QTime(14, 7, 9), Qt::UTC).toSecsSinceEpoch());
    EXPECT_EQ(Parts(message.get()).front().content.trimmed(), "<p>kept body</p>");

    record.modificationTime = std::nullopt;
    EXPECT_FALSE(ContentFromRecord(record).date.has_value());
}

// The record's date is the best time it holds: delivery, creation, modification.
TEST(RecordFallbackTest, TheDateIsTheBestTimeTheRecordHolds)
{
    const auto at = [](int day) {
        return FileTime{DateTimeToFiletime(QDateTime(QDate(2021, 3, day), QTime(14, 7, 9, 500), Qt::UTC))};
    };
    const struct {
        const char* name;
        std::optional<FileTime> delivery, creation, modification;
        int expectedDay;  // 0: no date
    } cases[] = {
        {"all three", at(1), at(2), at(3), 1},
        {"creation and modification", std::nullopt, at(2), at(3), 2},
        {"modification alone", std::nullopt, std::nullopt, at(3), 3},
        {"delivery alone", at(1), std::nullopt, std::nullopt, 1},
        {"none", std::nullopt, std::nullopt, std::nullopt, 0},
    };
    for (const auto& c : cases) {
        MailRecord record;
        record.deliveryTime = c.delivery;
        record.creationTime = c.creation;
        record.modificationTime = c.modification;
        const std::optional<QDateTime> date = ContentFromRecord(record).date;
        if (c.expectedDay == 0) {
            EXPECT_FALSE(date.has_value()) << c.name;
            continue;
        }
        ASSERT_TRUE(date.has_value()) << c.name;
        EXPECT_EQ(*date, QDateTime(QDate(2021, 3, c.expectedDay), QTime(14, 7, 9), Qt::UTC)) << c.name;
    }
}

TEST(SubjectPrefixTest, MarkerAndLengthCharacterAreRemoved)
{
    EXPECT_EQ(SubjectWithoutPrefixMarker(QString::fromUtf8("\x01\x05RE: Hello")), "RE: Hello");
    EXPECT_EQ(SubjectWithoutPrefixMarker("Hello"), "Hello");
    EXPECT_EQ(SubjectWithoutPrefixMarker(QString::fromUtf8("\x01")), QString::fromUtf8("\x01"));
}

TEST(ContentTypeTest, StoredTypeOrExtensionDecides)
{
    EXPECT_EQ(ContentTypeForFileName("report.PDF"), "application/pdf");
    EXPECT_EQ(ContentTypeForFileName("noextension"), "application/octet-stream");
    EXPECT_EQ(ContentTypeForFileName("mail.eml"), "application/octet-stream");
}

// What every writer asks of an address: whether it is one, its parts, and
// whether it is plain enough to stand for a display name or on a line alone.
TEST(AddrSpecTest, ReadsWhatCanBeWrittenAsAnAddress)
{
    struct Case {
        const char* text;
        const char* parsed;  // nullptr: not an address
        const char* local;
        const char* domain;
        bool plainDotAtom;
        bool printableAscii;
    };
    const Case cases[] = {
        {"a@b.c", "a@b.c", "a", "b.c", true, true},
        {"  anna@example.com\t", "anna@example.com", "anna", "example.com", false, true},
        {"/O=ORG/CN=X", nullptr, "", "", false, false},
        {"a@", nullptr, "", "", false, false},
        {"@b", nullptr, "", "", false, false},
        {"a b@c", nullptr, "", "", false, false},
        {"<a@b>", nullptr, "", "", false, false},
        {"\"a\"@b", nullptr, "", "", false, false},
        {"a@b@c", "a@b@c", "a@b", "c", false, true},
        {"first.last+tag@sub.example.org", "first.last+tag@sub.example.org", "first.last+tag", "sub.example.org", true, true},
        {"a..b@c", "a..b@c", "a..b", "c", false, true},
        {"j\xc3\xbcrgen@example.de", "j\xc3\xbcrgen@example.de", "j\xc3\xbcrgen", "example.de", false, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const QString text = QString::fromUtf8(c.text);
        const std::optional<AddrSpec> parsed = AddrSpec::Parse(text);
        ASSERT_EQ(parsed.has_value(), c.parsed != nullptr);
        EXPECT_EQ(AddrSpec::IsPlainDotAtom(text), c.plainDotAtom);
        EXPECT_EQ((Mailbox{QStringLiteral("Name"), text}.addrSpec().has_value()), parsed.has_value());
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->text(), QString::fromUtf8(c.parsed));
        EXPECT_EQ(parsed->localPart().toString(), QString::fromUtf8(c.local));
        EXPECT_EQ(parsed->domain().toString(), QString::fromUtf8(c.domain));
        EXPECT_EQ(parsed->isPrintableAscii(), c.printableAscii);
    }
}

}  // namespace
}  // namespace tolvane
