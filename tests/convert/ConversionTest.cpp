// Whole conversions of mailboxes written by the project's PST writer: every
// field, body, attachment and embedded message comes back in the EML files.
#include "tests/convert/ConvertTestSupport.h"

#include "app/cli/HeadlessScan.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "pstwriter/PstBuilder.h"
#include "scan/WorkerGate.h"

#include <QCryptographicHash>
#include <QFileInfo>
#include <QRegularExpression>

#include <atomic>
#include <map>
#include <condition_variable>
#include <mutex>

namespace tolvane {
namespace {

using namespace pstwriter;
using testing::AddressesText;
using testing::FilesBelow;
using testing::ParseWithGMime;
using testing::Parts;
using testing::ReadAll;
using testing::RecordingConversionSink;

Bytes ToBytes(const QByteArray& data)
{
    return Bytes(data.begin(), data.end());
}

QDateTime FixedClock()
{
    return QDateTime(QDate(2011, 3, 5), QTime(9, 7));
}

class ConversionTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(temp_.isValid()); }

    QString PstPath() const { return temp_.filePath("mailbox.pst"); }
    QString Destination() const
    {
        QDir().mkpath(temp_.filePath("out"));
        return temp_.filePath("out");
    }
    QString OutputRoot() const { return Destination() + "/Vorsk-Recovery-5-3-2011 9-7"; }

    void Write(const PstBuilder& builder) { builder.Write(PstPath().toStdString()); }

    ConversionSummary ScanAndConvert(WorkerGate* gate = nullptr)
    {
        cli::HeadlessScanSink scanSink;
        EXPECT_EQ(cli::RunHeadlessScan(PstPath(), store_, tempDir_, scanSink), ScanOutcome::Completed);
        return Convert(Destination(), gate);
    }

    // Converts what the last scan recorded into `destination`.
    ConversionSummary Convert(const QString& destination, WorkerGate* gate = nullptr, int workers = 0)
    {
        ConversionDriver driver;
        ConversionRequest request;
        request.pstPath = PstPath();
        request.destinationPath = destination;
        request.workers = workers;
        request.store = &store_;
        request.sink = &sink_;
        request.gate = gate;
        request.clock = FixedClock;
        EXPECT_EQ(RefusalOf(driver.Start(request)), kStarted);
        return driver.Wait();
    }

    GObjectPtr<GMimeMessage> OnlyMessageIn(const QString& directory)
    {
        const QStringList files = FilesBelow(directory, ".eml");
        EXPECT_EQ(files.size(), 1) << files.join(' ').toStdString();
        if (files.size() != 1)
            return {};
        return ParseWithGMime(ReadAll(files.first()));
    }

    QTemporaryDir temp_;
    ProcessTempDir tempDir_;
    ItemStore store_;
    RecordingConversionSink sink_;
};

TEST_F(ConversionTest, EveryFieldOfAFullMessageRoundTrips)
{
    QByteArray big(5 * 1024 * 1024, '\0');
    for (qsizetype i = 0; i < big.size(); ++i)
        big[i] = char((i * 7919) >> 3);
    const QByteArray png("\x89PNG\r\n\x1a\nfake-image-bytes", 24);
    const std::string longHtml = "<html><body><p>" + std::string(70000, 'h') + "</p><img src=\"cid:logo@x\"></body></html>";

    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    Message inner2;
    inner2.subject("Innermost").from("Deep", "deep@example.com").body("level two body");
    Message inner1;
    inner1.subject("Ebene eins – ü").from("Mid", "mid@example.com").body("level one body").embed(inner2);
    inbox.addMessage()
        .subject("Grüße – 日本語 test")
        .from("Jörg, Ölsen", "joerg@example.com")
        .to("Zoë", "zoe@example.com")
        .cc("Carl", "carl@example.com")
        .bcc("Bea", "bea@example.com")
        .sent(pstwriter::FileTime::fromUnixSeconds(1615000000))
        .body("Plain ünïcödé body")
        .htmlBody(longHtml)
        .attach("logo.png", ToBytes(png), "image/png", "logo@x")
        .attach("Größe.bin", ToBytes(big))
        .embed(inner1);
    Write(pst);

    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 1);
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Mail), 0);
    EXPECT_EQ(summary.counts.Written(OutcomeKind::EmbeddedMail), 2);
    EXPECT_EQ(sink_.notices(), QStringList{"Saving sucessfully completed."});

    const QString inboxDir = OutputRoot() + "/Top-of-Personal-Folders/Inbox";
    const QStringList files = FilesBelow(OutputRoot(), ".eml");
    ASSERT_EQ(files.size(), 1);
    EXPECT_TRUE(files.first().startsWith(inboxDir + "/")) << files.first().toStdString();
    EXPECT_TRUE(files.first().endsWith("41.eml"));

    auto message = ParseWithGMime(ReadAll(files.first()));
    ASSERT_TRUE(message);
    EXPECT_STREQ(g_mime_message_get_subject(message.get()), "Grüße – 日本語 test");
    EXPECT_EQ(AddressesText(g_mime_message_get_from(message.get())), QString::fromUtf8("Jörg  Ölsen <joerg@example.com>"));
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_TO)),
              QString::fromUtf8("Zoë <zoe@example.com>"));
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_CC)), "Carl <carl@example.com>");
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(message.get(), GMIME_ADDRESS_TYPE_BCC)), "Bea <bea@example.com>");
    ASSERT_NE(g_mime_message_get_date(message.get()), nullptr);
    EXPECT_EQ(g_date_time_to_unix(g_mime_message_get_date(message.get())), 1615000000);

    bool sawPlain = false, sawHtml = false, sawImage = false, sawBig = false, sawEmbedded = false;
    for (const auto& part : Parts(message.get())) {
        if (part.contentType == "text/plain" && part.content == QByteArray("Plain ünïcödé body"))
            sawPlain = true;
        if (part.contentType == "text/html" && part.content.toStdString() == longHtml)
            sawHtml = true;
        if (part.fileName == "logo.png") {
            sawImage = part.content == png && part.contentId == "logo@x";
        }
        if (part.fileName == QString::fromUtf8("Größe.bin"))
            sawBig = QCryptographicHash::hash(part.content, QCryptographicHash::Sha256)
                     == QCryptographicHash::hash(big, QCryptographicHash::Sha256);
        if (part.embedded && !sawEmbedded) {
            sawEmbedded = true;
            EXPECT_STREQ(g_mime_message_get_subject(part.embedded), "Ebene eins – ü");
        }
    }
    EXPECT_TRUE(sawPlain);
    EXPECT_TRUE(sawHtml);
    EXPECT_TRUE(sawImage);
    EXPECT_TRUE(sawBig);
    EXPECT_TRUE(sawEmbedded);
    // The innermost message is carried too.
    EXPECT_TRUE(ReadAll(files.first()).contains("Innermost"));
    EXPECT_EQ(testing::PythonEmailDefects(OutputRoot()), QString());
}

TEST_F(ConversionTest, FirstFilesEndIn41_18467_6334AcrossFolders)
{
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    auto& sent = top.addFolder("Sent Items");
    inbox.addMessage().subject("Minutes").from("A", "a@example.com").body("1");
    sent.addMessage().subject("Minutes").from("A", "a@example.com").body("2");
    sent.addMessage().subject("Minutes").from("A", "a@example.com").body("3");
    Write(pst);

    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 3);
    QStringList names;
    for (const QString& file : FilesBelow(OutputRoot(), ".eml"))
        names << QFileInfo(file).fileName();
    names.sort();
    EXPECT_EQ(names, (QStringList{"Minutes18467.eml", "Minutes41.eml", "Minutes6334.eml"}));
    EXPECT_EQ(sink_.notices(), QStringList{"Saving sucessfully completed."});
}

// Progress is the items taken on out of all the passes will take on: it only
// grows, and a run that goes through everything ends at 100. Four mails (one
// with an embedded message, which travels inside it), a contact and an
// appointment make six steps.
TEST_F(ConversionTest, ProgressCountsEveryItemOnceAndOnlyGrows)
{
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    for (int i = 0; i < 3; ++i)
        inbox.addMessage().subject("Plain").from("A", "a@example.com").body("text");
    inbox.addMessage().subject("Outer").body("outer").addEmbeddedMessage().subject("Inner").body("inner");
    top.addFolder("Contacts").containerClass("IPF.Contact").addContact("Bo", "Lund");
    top.addFolder("Calendar")
        .containerClass("IPF.Appointment")
        .addAppointment("Meeting")
        .appointment(pstwriter::FileTime::fromUnixSeconds(1300000000), pstwriter::FileTime::fromUnixSeconds(1300003600));
    Write(pst);

    const ConversionSummary summary = ScanAndConvert();
    ASSERT_TRUE(summary.allSaved());
    const std::vector<ConversionPosition> told = sink_.positions();
    ASSERT_FALSE(told.empty());
    // The count goes up by one item at a time and never back; the
    // percentage never falls, and the run ends at all of six.
    std::vector<int> percents;
    for (std::size_t i = 0; i < told.size(); ++i) {
        if (i > 0) {
            const std::int64_t step = told[i].done - told[i - 1].done;
            EXPECT_TRUE(step == 0 || step == 1) << "at " << i << ": " << told[i - 1].done << " to " << told[i].done;
            EXPECT_GE(told[i].percent, told[i - 1].percent) << "at " << i;
        }
        if (percents.empty() || percents.back() != told[i].percent)
            percents.push_back(told[i].percent);
    }
    EXPECT_EQ(told.front().done, 0);
    EXPECT_EQ(told.back().done, 6);
    EXPECT_EQ(told.back().total, 6);
    // Every step is a sixth (rounded down).
    EXPECT_EQ(percents, (std::vector<int>{0, 16, 33, 50, 66, 83, 100}));
}

// The files are written in record order whatever the number of workers that
// read and compose ahead of the writer, and whatever the scan kept: a scan
// that keeps no bodies or recipients (the command line's) guides the same
// conversion.
TEST_F(ConversionTest, AnyNumberOfWorkersWritesTheSameFiles)
{
    QByteArray large(5 * 1024 * 1024, '\0');  // streamed from the mailbox while written
    for (qsizetype i = 0; i < large.size(); ++i)
        large[i] = char((i * 7919) >> 3);
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    auto& inbox = top.addFolder("Inbox");
    auto& archive = inbox.addFolder("Archive");
    auto& sent = top.addFolder("Sent Items");
    Message inner;
    inner.subject("Inner").from("In", "in@example.com").body("inner body");
    for (int index = 0; index < 40; ++index) {
        auto& folder = index % 3 == 0 ? inbox : index % 3 == 1 ? archive : sent;
        Message& message = folder.addMessage()
                               .subject(index % 4 == 0 ? std::string("Same subject") : "Subject " + std::to_string(index))
                               .from("Sender", "sender@example.com")
                               .to("To", "to@example.com")
                               .body("body " + std::to_string(index) + " " + std::string(index * 300, 'b'));
        if (index % 5 == 0)
            message.attach("part" + std::to_string(index) + ".bin", Bytes(6000 + index * 997, std::uint8_t(index)));
        if (index == 7)
            message.attach("large.bin", ToBytes(large));
        if (index == 11)
            message.embed(inner);
        // Subjects that name files by a rule of their own, and arrival
        // times that date them.
        if (index == 13)
            message.subject(" ");
        if (index == 17)
            message.subject("a--b --- c");
        if (index == 19)
            message.removeProperty(0x0037);
        if (index % 2 == 1)
            message.received(pstwriter::FileTime::fromUnixSeconds(1700000000 + index * 86400));
    }
    Write(pst);

    const auto normalised = [](const QString& root) {
        std::map<QString, QByteArray> files;
        const QRegularExpression boundary(QStringLiteral("boundary=\"([^\"]+)\""));
        for (const QString& path : FilesBelow(root, "")) {
            if (path.endsWith(QStringLiteral("/manifest.jsonl")))
                continue;  // it holds the hashes of files whose boundaries differ from run to run
            QByteArray bytes = ReadAll(path);
            for (auto match = boundary.globalMatch(QString::fromLatin1(bytes)); match.hasNext();)
                bytes.replace(match.next().captured(1).toLatin1(), "BOUNDARY");
            // The arrival times of the fixture are in 2023; a file dated
            // later carries the time it was written, which is no one's.
            const qint64 modified = QFileInfo(path).lastModified().toSecsSinceEpoch();
            if (modified < 1710000000)
                bytes += "\nmodified " + QByteArray::number(modified);
            files[path.mid(root.size())] = bytes;
        }
        return files;
    };
    const struct {
        ItemDetail detail;
        int workers;
    } runs[] = {{ItemDetail::Listed, 1}, {ItemDetail::Listed, 2}, {ItemDetail::Listed, 5}, {ItemDetail::WhereOnly, 3}};
    std::map<QString, QByteArray> first;
    for (const auto& run : runs) {
        const bool listed = run.detail == ItemDetail::Listed;
        SCOPED_TRACE(::testing::Message() << run.workers << " workers, mail listed " << listed);
        cli::HeadlessScanSink scanSink;
        ASSERT_EQ(cli::RunHeadlessScan(PstPath(), store_, tempDir_, scanSink, nullptr, nullptr, run.detail),
                  ScanOutcome::Completed);
        const QString destination = temp_.filePath(QStringLiteral("out-%1-%2").arg(run.workers).arg(listed));
        ASSERT_TRUE(QDir().mkpath(destination));
        const ConversionSummary summary = Convert(destination, nullptr, run.workers);
        EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 40);
        EXPECT_EQ(summary.counts.Written(OutcomeKind::EmbeddedMail), 1);
        const auto files = normalised(destination + "/Vorsk-Recovery-5-3-2011 9-7");
        EXPECT_EQ(files.size(), 40u);
        if (first.empty()) {
            first = files;
            continue;
        }
        for (const auto& [name, bytes] : first) {
            const auto found = files.find(name);
            ASSERT_NE(found, files.end()) << name.toStdString();
            EXPECT_EQ(found->second, bytes) << name.toStdString();
        }
    }
}

TEST_F(ConversionTest, HostileFolderNamesAndSubjectsStayInsideTheOutputRoot)
{
    PstBuilder pst;
    auto& top = pst.topOfPersonalFolders();
    const std::string hostile[] = {"..", "../../escape", "/etc", std::string(300, 'F'), "ctl\x01\x1f", "a\\b"};
    for (const std::string& name : hostile)
        top.addFolder(name).addMessage().subject("../../../../tmp/evil").from("A", "a@example.com").body("x");
    auto& plain = top.addFolder("Plain");
    plain.addMessage().subject(std::string(400, 'S')).body("long subject");
    plain.addMessage().subject("/absolute/path\x07").body("slashes");
    plain.addMessage().subject("..").body("dots");
    plain.addMessage().body("no subject at all");
    Write(pst);

    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.counts.Failed(OutcomeKind::Mail), 0) << summary.firstFailures.join('\n').toStdString();
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 10);
    const QStringList files = FilesBelow(temp_.path(), ".eml");
    EXPECT_EQ(files.size(), 10);
    for (const QString& file : files) {
        EXPECT_TRUE(QFileInfo(file).canonicalFilePath().startsWith(QFileInfo(OutputRoot()).canonicalFilePath() + "/"))
            << file.toStdString();
        EXPECT_LE(QFileInfo(file).fileName().toUtf8().size(), 255);
    }
    EXPECT_EQ(FilesBelow(OutputRoot() + "/Top-of-Personal-Folders/Plain", ".eml").filter("Unknown <Unknown>").size(), 1);
    EXPECT_EQ(testing::PythonEmailDefects(OutputRoot()), QString());
}

TEST_F(ConversionTest, TwoHundredRecipientsEachInTheirHeader)
{
    PstBuilder pst;
    auto& message = pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    message.subject("Many").from("A", "a@example.com").body("x");
    for (int i = 0; i < 200; ++i) {
        const std::string name = "Recipient " + std::to_string(i);
        const std::string address = "r" + std::to_string(i) + "@example.com";
        if (i % 3 == 0)
            message.to(name, address);
        else if (i % 3 == 1)
            message.cc(name, address);
        else
            message.bcc(name, address);
    }
    Write(pst);
    ScanAndConvert();
    auto parsed = OnlyMessageIn(OutputRoot());
    ASSERT_TRUE(parsed);
    int total = 0;
    for (auto type : {GMIME_ADDRESS_TYPE_TO, GMIME_ADDRESS_TYPE_CC, GMIME_ADDRESS_TYPE_BCC})
        total += internet_address_list_length(g_mime_message_get_addresses(parsed.get(), type));
    EXPECT_EQ(total, 200);
    EXPECT_EQ(internet_address_list_length(g_mime_message_get_addresses(parsed.get(), GMIME_ADDRESS_TYPE_TO)), 67);
    EXPECT_EQ(testing::PythonEmailDefects(OutputRoot()), QString());
}

TEST_F(ConversionTest, ExchangeAddressesGiveWayToSmtpAndSubjectMarkerIsDropped)
{
    PstBuilder pst;
    auto& message = pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    message.property(tags::Subject, "\x01\x05RE: Budget")
        .property(tags::SenderName, "Terry")
        .property(tags::SenderEmailAddress, "/O=ORG/OU=SITE/CN=RECIPIENTS/CN=TERRY")
        .property(tags::SenderAddressType, "EX")
        .property(tags::SenderSmtpAddress, "terry@example.com")
        .recipient(1, "Leah", "/O=ORG/OU=SITE/CN=RECIPIENTS/CN=LEAH", "EX", "leah@example.com")
        .recipient(2, "Nobody", "/O=ORG/OU=SITE/CN=RECIPIENTS/CN=NOBODY", "EX")
        .body("x");
    Write(pst);
    ScanAndConvert();
    auto parsed = OnlyMessageIn(OutputRoot());
    ASSERT_TRUE(parsed);
    EXPECT_STREQ(g_mime_message_get_subject(parsed.get()), "RE: Budget");
    EXPECT_EQ(AddressesText(g_mime_message_get_from(parsed.get())), "Terry <terry@example.com>");
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(parsed.get(), GMIME_ADDRESS_TYPE_TO)), "Leah <leah@example.com>");
    EXPECT_EQ(AddressesText(g_mime_message_get_addresses(parsed.get(), GMIME_ADDRESS_TYPE_CC)), "Nobody <no-address@unknown.invalid>");
}

TEST_F(ConversionTest, RtfOnlyBodiesAndOriginalHeaders)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage()
        .subject("html in rtf")
        .body("  \r\n")
        .rtfBodyUncompressed("{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 {\\*\\htmltag19 <html>}\\htmlrtf {\\htmlrtf0 "
                             "caf\\'e9 html\\htmlrtf }\\htmlrtf0 {\\*\\htmltag27 </html>}}")
        .transportHeaders("Received: from x by y; Mon, 1 Mar 2021 10:00:00 +0000\r\n"
                          "Message-ID: <orig@example.com>\r\nReferences: <a@example.com>\r\n"
                          "Content-Type: text/plain\r\n\r\n");
    inbox.addMessage().subject("text in rtf").rtfBody("{\\rtf1\\ansi\\fromtext plain from rtf\\par}");
    inbox.addMessage().subject("pure rtf").rtfBody("{\\rtf1\\ansi {\\b bold} rtf}");
    Write(pst);
    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 3);
    for (const QString& file : FilesBelow(OutputRoot(), ".eml")) {
        auto parsed = ParseWithGMime(ReadAll(file));
        ASSERT_TRUE(parsed);
        const QString subject = QString::fromUtf8(g_mime_message_get_subject(parsed.get()));
        const auto parts = Parts(parsed.get());
        QStringList found;
        for (const auto& part : parts)
            found << part.contentType + "|" + part.fileName + "|" + QString::fromUtf8(part.content);
        const QString all = found.join('\n');
        if (subject == "html in rtf") {
            EXPECT_TRUE(all.contains(QString::fromUtf8("text/html||<html>café html</html>"))) << all.toStdString();
            EXPECT_STREQ(g_mime_message_get_message_id(parsed.get()), "orig@example.com");
            EXPECT_EQ(testing::HeaderText(parsed.get(), "References"), "<a@example.com>");
        } else if (subject == "text in rtf") {
            EXPECT_TRUE(all.contains("text/plain||plain from rtf")) << all.toStdString();
        } else {
            EXPECT_EQ(subject, "pure rtf");
            EXPECT_TRUE(all.contains("application/rtf|body.rtf|{\\rtf1\\ansi {\\b bold} rtf}")) << all.toStdString();
        }
    }
    EXPECT_EQ(testing::PythonEmailDefects(OutputRoot()), QString());
}

TEST_F(ConversionTest, EightBitHtmlIsWrittenAsUtf8WithMatchingDeclarations)
{
    PstBuilder pst;
    pst.topOfPersonalFolders()
        .addFolder("Inbox")
        .addMessage()
        .subject("cp1252")
        .codepage(1252)
        .htmlBody("<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=windows-1252\">"
                  "</head><body>caf\xe9 \x80</body></html>");
    Write(pst);
    ScanAndConvert();
    auto parsed = OnlyMessageIn(OutputRoot());
    ASSERT_TRUE(parsed);
    bool found = false;
    for (const auto& part : Parts(parsed.get())) {
        if (part.contentType != "text/html")
            continue;
        found = true;
        const QString html = QString::fromUtf8(part.content);
        EXPECT_TRUE(html.contains("caf\u00e9 \u20ac")) << html.toStdString();
        EXPECT_TRUE(html.contains("charset=utf-8")) << html.toStdString();
        EXPECT_FALSE(html.contains("windows-1252"));
    }
    EXPECT_TRUE(found);
}

TEST_F(ConversionTest, LinkAttachmentsBecomeASmallPartNamingTheLink)
{
    PstBuilder pst;
    pst.topOfPersonalFolders()
        .addFolder("Inbox")
        .addMessage()
        .subject("link")
        .body("see the plan")
        .attachReference("plan.docx", "\\\\server\\share\\plan.docx")
        .attach("real.txt", ToBytes("real content"));
    Write(pst);
    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 1);
    auto parsed = OnlyMessageIn(OutputRoot());
    ASSERT_TRUE(parsed);
    QStringList names;
    for (const auto& part : Parts(parsed.get()))
        names << part.fileName;
    EXPECT_TRUE(names.contains("real.txt")) << names.join(',').toStdString();
    EXPECT_TRUE(ReadAll(FilesBelow(OutputRoot(), ".eml").first()).contains("plan.docx"));
    EXPECT_EQ(testing::PythonEmailDefects(OutputRoot()), QString());
}

TEST_F(ConversionTest, ContactsBecomeVCardsWithTheirAddresses)
{
    PstBuilder pst;
    auto& contacts = pst.topOfPersonalFolders().addFolder("Contacts");
    contacts.containerClass("IPF.Contact");
    // Born on 29 February 1980, kept as the midnight of UTC+1 that starts it.
    contacts.addContact("Anna", "Berg").email1("anna@example.com").fileUnder("Berg, Anna")
        .property(MakeTag(0x3A42, PtSysTime), pstwriter::FileTime::fromUnixSeconds(320626800))
        .namedProperty(propsets::PublicStrings, "Keywords", PropertyValue::multipleUnicode({"Familie"}));
    contacts.addContact("Anna", "Berg");
    pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("After contacts").body("x");
    Write(pst);
    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.counts.Written(OutcomeKind::Contact), 2);
    const QStringList cards = FilesBelow(OutputRoot(), ".vcf");
    ASSERT_EQ(cards.size(), 2);
    const QString contactsDir = OutputRoot() + "/Top-of-Personal-Folders/Contacts/";
    EXPECT_EQ(cards, (QStringList{contactsDir + "Anna Berg-2.vcf", contactsDir + "Anna Berg.vcf"}));
    EXPECT_TRUE(ReadAll(contactsDir + "Anna Berg.vcf").contains("EMAIL:anna@example.com\r\n"));
    EXPECT_TRUE(ReadAll(contactsDir + "Anna Berg.vcf").contains("X-FILE-AS:Berg\\, Anna\r\n"));
    EXPECT_TRUE(ReadAll(contactsDir + "Anna Berg.vcf").contains("BDAY:19800229\r\n"))
        << ReadAll(contactsDir + "Anna Berg.vcf").toStdString();
    EXPECT_TRUE(ReadAll(contactsDir + "Anna Berg.vcf").contains("CATEGORIES:Familie\r\n"));
    // Contacts draw no numbers: the first mail still ends in 41.
    EXPECT_EQ(FilesBelow(OutputRoot(), ".eml").filter("After contacts41.eml").size(), 1);
}

TEST_F(ConversionTest, ASecondStartWhileOneRunsIsRefused)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    for (int i = 0; i < 3; ++i)
        inbox.addMessage().subject("m").body("x");
    Write(pst);
    cli::HeadlessScanSink scanSink;
    ASSERT_EQ(cli::RunHeadlessScan(PstPath(), store_, tempDir_, scanSink), ScanOutcome::Completed);

    WorkerGate gate;
    std::mutex mutex;
    std::condition_variable changed;
    std::atomic<bool> held{false};  // also read and written under `mutex`
    std::atomic<bool> release{false};
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal != 2)
            return;
        std::unique_lock lock(mutex);
        held = true;
        changed.notify_all();
        changed.wait(lock, [&] { return release.load(); });
    });
    ConversionDriver driver;
    ConversionRequest request;
    request.pstPath = PstPath();
    request.destinationPath = Destination();
    request.store = &store_;
    request.sink = &sink_;
    request.gate = &gate;
    request.clock = FixedClock;
    ASSERT_EQ(RefusalOf(driver.Start(request)), kStarted);
    {
        std::unique_lock lock(mutex);
        changed.wait(lock, [&] { return held.load(); });
    }
    EXPECT_TRUE(driver.isRunning());
    EXPECT_EQ(RefusalOf(driver.Start(request)), StartRefusal::AlreadyRunning);
    {
        std::lock_guard lock(mutex);
        release = true;
    }
    changed.notify_all();
    EXPECT_EQ(driver.Wait().counts.Complete(OutcomeKind::Mail), 3);
    EXPECT_FALSE(driver.isRunning());
    // A later conversion starts again at 41, in a folder of its own even in the same minute.
    ConversionRequest again = request;
    again.gate = nullptr;
    ASSERT_EQ(RefusalOf(driver.Start(again)), kStarted);
    EXPECT_EQ(driver.outputRoot(), OutputRoot() + "-2");
    const ConversionSummary second = driver.Wait();
    EXPECT_EQ(second.counts.Complete(OutcomeKind::Mail), 3);
    EXPECT_EQ(second.outputRoot, OutputRoot() + "-2");
    EXPECT_EQ(FilesBelow(OutputRoot(), ".eml").filter("m41").size(), 1);
    EXPECT_EQ(FilesBelow(OutputRoot() + "-2", ".eml").filter("m41").size(), 1);
}

TEST_F(ConversionTest, AbandonedConversionShowsNothingAndStops)
{
    PstBuilder pst;
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    for (int i = 0; i < 4; ++i)
        inbox.addMessage().subject("m").body("x");
    Write(pst);
    WorkerGate gate;
    gate.setCheckpointHook([&](long ordinal) {
        if (ordinal == 3)
            gate.Abandon();
    });
    const ConversionSummary summary = ScanAndConvert(&gate);
    EXPECT_TRUE(summary.abandoned);
    EXPECT_EQ(summary.counts.Complete(OutcomeKind::Mail), 2);
    EXPECT_TRUE(sink_.notices().isEmpty());
    EXPECT_EQ(sink_.finished(), 0);
    EXPECT_EQ(FilesBelow(OutputRoot(), ".eml").size(), 2);
}

TEST_F(ConversionTest, AScanWithoutMailStillMakesTheDirectoriesAndCompletes)
{
    PstBuilder pst;
    pst.topOfPersonalFolders().addFolder("Empty");
    Write(pst);
    const ConversionSummary summary = ScanAndConvert();
    EXPECT_EQ(summary.mailTotal, 0);
    EXPECT_TRUE(QFileInfo(OutputRoot() + "/Top-of-Personal-Folders/Empty").isDir());
    EXPECT_EQ(sink_.notices(), QStringList{"Saving sucessfully completed."});
}

}  // namespace
}  // namespace tolvane
