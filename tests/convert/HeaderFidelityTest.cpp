// Header fields that live in a message's properties rather than in its stored
// internet headers, and recipients whose address is hard to find: each case is
// one mail of a written mailbox, converted, then read back by GMime and by
// Python's email package, which must agree on every field.
#include "tests/convert/ConvertTestSupport.h"
#include "tests/convert/ScanAndConvert.h"

#include "app/cli/HeadlessScan.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/EntryIds.h"
#include "pstwriter/PstBuilder.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <functional>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::FilesBelow;
using testing::ParseWithGMime;
using testing::ReadAll;
using testing::RecordingConversionSink;

constexpr const char* kAbsent = nullptr;

struct Expected {
    const char* header;
    const char* value;  // as both readers decode it; kAbsent: the file has no such header
};

struct HeaderCase {
    const char* name;
    std::function<void(Message&)> build;
    std::vector<Expected> expected;
};

PropertyMap BareRecipient(int32_t type, std::string_view name)
{
    PropertyMap row;
    row[TagId(tags::RecipientType)] = PropertyValue::int32(type);
    row[TagId(tags::DisplayName)] = PropertyValue::unicode(name);
    row[TagId(tags::ObjectType)] = PropertyValue::int32(6);
    return row;
}

const pstwriter::FileTime kSent = pstwriter::FileTime::fromUnixSeconds(1486375200);  // 2017-02-06 10:00:00 UTC
const pstwriter::FileTime kDelivered = pstwriter::FileTime::fromUnixSeconds(1486375200 + 86400);
const pstwriter::FileTime kCreated = pstwriter::FileTime::fromUnixSeconds(1486375200 + 2 * 86400);
const pstwriter::FileTime kModified = pstwriter::FileTime::fromUnixSeconds(1486375200 + 3 * 86400);

std::vector<HeaderCase> Cases()
{
    return {
        {"sent mail has its identity and threading from properties",
         [](Message& m) {
             m.messageId("<sent-1@example.com>")
                 .property(tags::InReplyToId, "<parent-1@example.com>")
                 .property(tags::InternetReferences, "<root@example.com> <parent-1@example.com>,\r\n <x@y.z>");
         },
         {{"Message-ID", "<sent-1@example.com>"},
          {"In-Reply-To", "<parent-1@example.com>"},
          {"References", "<root@example.com> <parent-1@example.com> <x@y.z>"}}},
        {"stored headers win over properties and nothing is written twice",
         [](Message& m) {
             m.transportHeaders("Message-ID: <stored@example.com>\r\nIn-Reply-To: <stored-parent@example.com>\r\n"
                                "Importance: low\r\nThread-Topic: stored topic\r\n")
                 .messageId("<property@example.com>")
                 .property(tags::InReplyToId, "<property-parent@example.com>")
                 .importance(2)
                 .property(tags::ConversationTopic, "property topic");
         },
         {{"Message-ID", "<stored@example.com>"},
          {"In-Reply-To", "<stored-parent@example.com>"},
          {"Importance", "low"},
          {"X-Priority", kAbsent},
          {"Thread-Topic", "stored topic"}}},
        {"a stored date stays as the sender wrote it, zone included",
         [](Message& m) {
             m.transportHeaders("Date: Fri, 20 Jan 2017 14:10:44 -0500\r\nSubject: draft\r\n").sent(kSent);
         },
         {{"Date", "Fri, 20 Jan 2017 14:10:44 -0500"}}},
        {"an unreadable stored date gives way to the message's time",
         [](Message& m) { m.transportHeaders("Date: sometime last week\r\n").sent(kSent); },
         {{"Date", "Mon, 06 Feb 2017 10:00:00 +0000"}}},
        {"importance, priority and sensitivity",
         [](Message& m) { m.importance(2).property(tags::Priority, int32_t(1)).property(tags::Sensitivity, int32_t(3)); },
         {{"Importance", "high"},
          {"X-Priority", "1 (Highest)"},
          {"Priority", "urgent"},
          {"Sensitivity", "Company-Confidential"}}},
        {"low importance, personal, and normal values write nothing",
         [](Message& m) { m.importance(0).property(tags::Priority, int32_t(0)).property(tags::Sensitivity, int32_t(1)); },
         {{"Importance", "low"}, {"X-Priority", "5 (Lowest)"}, {"Priority", kAbsent}, {"Sensitivity", "Personal"}}},
        {"normal importance and no sensitivity write nothing",
         [](Message& m) { m.importance(1).property(tags::Sensitivity, int32_t(0)); },
         {{"Importance", kAbsent}, {"X-Priority", kAbsent}, {"Sensitivity", kAbsent}}},
        {"reply-to from the one-off entries, names from the entries",
         [](Message& m) {
             m.property(tags::ReplyRecipientEntries,
                        FlatEntryList({OneOffEntryId("Zoë Help", "SMTP", "help@example.com"),
                                       OneOffEntryId("Desk", "SMTP", "desk@example.org", false)}))
                 .property(tags::ReplyRecipientNames, "Zoë Help; Desk");
         },
         {{"Reply-To", "Zoë Help <help@example.com>, Desk <desk@example.org>"}}},
        {"reply-to from a name that is an address when the entry holds none",
         [](Message& m) {
             m.property(tags::ReplyRecipientEntries, FlatEntryList({Bytes{0, 0, 0, 0, 1, 2, 3}}))
                 .property(tags::ReplyRecipientNames, "lists@example.net");
         },
         {{"Reply-To", "lists@example.net"}}},
        {"a read receipt goes back to the sender",
         [](Message& m) {
             m.from("Ann Sender", "ann@example.com").property(tags::ReadReceiptRequested, true);
         },
         {{"Disposition-Notification-To", "Ann Sender <ann@example.com>"}}},
        {"categories become keywords",
         [](Message& m) {
             m.namedProperty(propsets::PublicStrings, "Keywords",
                             PropertyValue::multipleUnicode({"Rot", "Projekt – Über", "a, b", " "}));
         },
         {{"Keywords", "Rot, Projekt – Über, a b"}}},
        {"conversation topic and index",
         [](Message& m) {
             m.property(tags::ConversationTopic, "Thema – Ü")
                 .property(tags::ConversationIndex, Bytes{0x01, 0xD2, 0x80, 0xFF, 0x00, 0x10});
         },
         {{"Thread-Topic", "Thema – Ü"}, {"Thread-Index", "AdKA/wAQ"}}},
        {"an unsent draft says so and gets no invented sender",
         [](Message& m) {
             m.flags(tags::FlagUnsent).property(tags::CreationTime, kSent);
         },
         {{"X-Unsent", "1"}, {"From", kAbsent}, {"Date", "Mon, 06 Feb 2017 10:00:00 +0000"}}},
        // Date: the best time the item holds, as a reader that finds none
        // would put in the time it read the file.
        {"the submit time goes before every other time",
         [](Message& m) {
             m.sent(kSent).received(kDelivered).property(tags::CreationTime, kCreated).property(
                 tags::LastModificationTime, kModified);
         },
         {{"Date", "Mon, 06 Feb 2017 10:00:00 +0000"}}},
        {"the delivery time without a submit time",
         [](Message& m) {
             m.received(kDelivered).property(tags::CreationTime, kCreated).property(tags::LastModificationTime,
                                                                                     kModified);
         },
         {{"Date", "Tue, 07 Feb 2017 10:00:00 +0000"}}},
        {"the creation time without a submit or delivery time",
         [](Message& m) { m.property(tags::CreationTime, kCreated).property(tags::LastModificationTime, kModified); },
         {{"Date", "Wed, 08 Feb 2017 10:00:00 +0000"}}},
        {"the modification time alone",
         [](Message& m) { m.property(tags::LastModificationTime, kModified); },
         {{"Date", "Thu, 09 Feb 2017 10:00:00 +0000"}}},
        {"a stored Date goes before every time of the item",
         [](Message& m) {
             m.sent(kSent).property(tags::CreationTime, kCreated).transportHeaders(
                 "Date: Fri, 10 Feb 2017 08:30:00 +0100\r\nSubject: stored\r\n");
         },
         {{"Date", "Fri, 10 Feb 2017 08:30:00 +0100"}}},
        {"no time at all writes no Date", [](Message&) {}, {{"Date", kAbsent}}},
        {"a subject beyond ASCII long enough for several encoded-words",
         [](Message& m) {
             m.subject("Встреча в понедельник: обсуждение квартального отчёта и планов на год 会議 🎉")
                 .property(tags::ConversationTopic, "Встреча в понедельник: обсуждение квартального отчёта");
         },
         {{"Subject", "Встреча в понедельник: обсуждение квартального отчёта и планов на год 会議 🎉"},
          {"Thread-Topic", "Встреча в понедельник: обсуждение квартального отчёта"}}},
        {"a sender whose address is only in its one-off entry identifier",
         [](Message& m) {
             m.property(tags::SenderName, "Help Desk")
                 .property(tags::SenderEntryId, OneOffEntryId("Help Desk", "SMTP", "desk@example.com"));
         },
         {{"From", "Help Desk <desk@example.com>"}}},
        {"a sender whose name is its address",
         [](Message& m) { m.property(tags::SenderName, "postmaster@example.com"); },
         {{"From", "postmaster@example.com"}}},
        {"a recipient whose name is its address",
         [](Message& m) {
             m.recipient(BareRecipient(tags::RecipientTo, "someone@example.com"));
         },
         {{"To", "someone@example.com"}}},
        {"a recipient whose address is only in its one-off entry identifier",
         [](Message& m) {
             PropertyMap row = BareRecipient(tags::RecipientCc, "Carl");
             row[TagId(tags::EntryId)] = PropertyValue::binary(OneOffEntryId("Carl", "SMTP", "carl@example.com"));
             m.recipient(row);
         },
         {{"Cc", "Carl <carl@example.com>"}}},
        {"a recipients table without addresses gives way to the stored lines",
         [](Message& m) {
             m.recipient(BareRecipient(tags::RecipientTo, "Someone Else"))
                 .recipient(BareRecipient(tags::RecipientCc, "Other Person"))
                 .transportHeaders("To: Someone Else <someone@example.com>\r\nCc: other@example.com\r\n");
         },
         {{"To", "Someone Else <someone@example.com>"}, {"Cc", "other@example.com"}}},
    };
}

class HeaderFidelityTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    // Converts a mailbox with one folder per case, one mail in each.
    QString ConvertCases(const std::vector<HeaderCase>& cases)
    {
        PstBuilder pst;
        auto& top = pst.topOfPersonalFolders();
        for (size_t n = 0; n < cases.size(); ++n) {
            Message& mail = top.addFolder("case " + std::to_string(n)).addMessage();
            mail.subject("case " + std::to_string(n)).body("body");
            cases[n].build(mail);
        }
        const QString pstPath = temp_.filePath("mailbox.pst");
        pst.Write(pstPath.toStdString());
        const ConversionSummary summary =
            testing::ScanAndConvert(pstPath, temp_.filePath("out"), store_, tempDir_, sink_);
        EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), static_cast<int>(cases.size()));
        return temp_.filePath("out");
    }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    ItemStore store_;
    RecordingConversionSink sink_;
};

// How Python's email package reads the headers of one file.
QJsonObject PythonHeaders(const QString& file, const QStringList& names)
{
    QProcess python;
    python.start(QStringLiteral("python3"),
                 QStringList{QStringLiteral(TOLVANE_SOURCE_DIR "/tests/convert/read_headers.py"), file} + names);
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        return {};
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

// Every value GMime decodes for `name`, in order.
QStringList GMimeHeaderValues(GMimeMessage* message, const char* name)
{
    QStringList values;
    GMimeHeaderList* headers = g_mime_object_get_header_list(GMIME_OBJECT(message));
    for (int i = 0; i < g_mime_header_list_get_count(headers); ++i) {
        GMimeHeader* header = g_mime_header_list_get_header_at(headers, i);
        const char* value = g_mime_header_get_value(header);
        if (g_ascii_strcasecmp(g_mime_header_get_name(header), name) == 0 && value != nullptr && *value != '\0') {
            GCharPtr decoded(g_mime_utils_header_decode_text(nullptr, value));
            values << QString::fromUtf8(decoded.get()).simplified();
        }
    }
    return values;
}

TEST_F(HeaderFidelityTest, EveryFieldReachesTheFileOnceAndBothReadersAgree)
{
    const std::vector<HeaderCase> cases = Cases();
    const QString out = ConvertCases(cases);
    for (size_t n = 0; n < cases.size(); ++n) {
        SCOPED_TRACE(cases[n].name);
        const QStringList files = FilesBelow(out, ".eml").filter(QStringLiteral("/case %1/").arg(n));
        ASSERT_EQ(files.size(), 1);
        const QByteArray bytes = ReadAll(files.first());
        auto message = ParseWithGMime(bytes);
        ASSERT_TRUE(message);
        QStringList names;
        for (const Expected& expected : cases[n].expected)
            names << QString::fromLatin1(expected.header);
        const QJsonObject python = PythonHeaders(files.first(), names);
        ASSERT_FALSE(python.isEmpty()) << "python3 could not read " << files.first().toStdString();
        for (const Expected& expected : cases[n].expected) {
            SCOPED_TRACE(expected.header);
            const QStringList gmime = GMimeHeaderValues(message.get(), expected.header);
            const QJsonArray fromPython = python.value(QString::fromLatin1(expected.header)).toArray();
            if (expected.value == kAbsent) {
                EXPECT_TRUE(gmime.isEmpty()) << gmime.join(" | ").toStdString();
                EXPECT_TRUE(fromPython.isEmpty());
                continue;
            }
            const QString want = QString::fromUtf8(expected.value);
            EXPECT_EQ(gmime, QStringList{want}) << bytes.left(1500).toStdString();
            ASSERT_EQ(fromPython.size(), 1);
            const QJsonObject entry = fromPython.first().toObject();
            EXPECT_EQ(entry.value("text").toString().simplified(), want);
            EXPECT_TRUE(entry.value("defects").toArray().isEmpty())
                << QJsonDocument(entry).toJson().toStdString();
        }
    }
    EXPECT_EQ(testing::PythonEmailDefects(out), QString());
}

// A recipient with a name and no address anywhere stays a name: written so that
// both readers see one mailbox with that display name, never an empty group.
TEST_F(HeaderFidelityTest, ARecipientWithOnlyANameKeepsItsNameAsAMailbox)
{
    const std::vector<HeaderCase> cases = {
        {"name only",
         [](Message& m) {
             m.recipient(BareRecipient(tags::RecipientTo, "Ohne Adresse <Ü>"))
                 .to("Known", "known@example.com");
         },
         {}},
    };
    const QString out = ConvertCases(cases);
    const QStringList files = FilesBelow(out, ".eml");
    ASSERT_EQ(files.size(), 1);
    const QByteArray bytes = ReadAll(files.first());
    EXPECT_FALSE(bytes.contains(":;")) << bytes.left(800).toStdString();
    auto message = ParseWithGMime(bytes);
    ASSERT_TRUE(message);
    InternetAddressList* to = g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO);
    ASSERT_EQ(internet_address_list_length(to), 2);
    InternetAddress* first = internet_address_list_get_address(to, 0);
    ASSERT_TRUE(INTERNET_ADDRESS_IS_MAILBOX(first));
    EXPECT_STREQ(internet_address_get_name(first), "Ohne Adresse Ü");
    EXPECT_STREQ(internet_address_mailbox_get_addr(INTERNET_ADDRESS_MAILBOX(first)), "no-address@unknown.invalid");
    const QJsonObject python = PythonHeaders(files.first(), {"To"});
    const QJsonArray addresses = python.value("To").toArray().first().toObject().value("addresses").toArray();
    ASSERT_EQ(addresses.size(), 2);
    EXPECT_EQ(addresses.at(0).toArray().at(0).toString(), QString::fromUtf8("Ohne Adresse Ü"));
    EXPECT_EQ(addresses.at(0).toArray().at(1).toString(), "no-address@unknown.invalid");
    EXPECT_EQ(addresses.at(1).toArray().at(1).toString(), "known@example.com");
}

}  // namespace
}  // namespace tolvane
