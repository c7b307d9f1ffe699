// Composition of messages from in-memory content, read back by GMime and by
// Python's email package.
#include "scan/ScanTexts.h"
#include "scan/TimeText.h"
#include "tests/convert/ConvertTestSupport.h"

#include "convert/MailContent.h"
#include "convert/read/MailboxReader.h"
#include "convert/compose/MimeComposer.h"

#include <QCryptographicHash>

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
        content.from = MailAddress{QString::fromUtf8(c.name), QString::fromUtf8(c.address)};
        const QByteArray bytes = ComposeMessageBytes(content);
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
    content.from = MailAddress{"Ann", "ann@example.com"};
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

    auto message = ParseWithGMime(ComposeMessageBytes(content));
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
    auto message = ParseWithGMime(ComposeMessageBytes(content));
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

    auto message = ParseWithGMime(ComposeMessageBytes(outer));
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
        content.from = MailAddress{QString::fromUtf8("Zoë, van der Berg"), "zoe@example.com"};
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
        file.write(ComposeMessageBytes(content));
    }
    EXPECT_EQ(testing::PythonEmailDefects(temp.path()), QString());
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
    auto message = ParseWithGMime(ComposeMessageBytes(content));
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
    EXPECT_TRUE(LooksLikeSmtpAddress("a@b.c"));
    EXPECT_FALSE(LooksLikeSmtpAddress("/O=ORG/CN=X"));
    EXPECT_FALSE(LooksLikeSmtpAddress("a@"));
    EXPECT_FALSE(LooksLikeSmtpAddress("a b@c"));
}

}  // namespace
}  // namespace tolvane
