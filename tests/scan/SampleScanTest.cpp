// Whole scans of the real sample mailboxes, cross-checked against what an
// independent reader found in them.
#include "frontend/RecordText.h"
#include "tests/scan/ScanTestSupport.h"

#include "scan/ItemLocator.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "base/ProcessTempDir.h"

#include <QSet>

using namespace tolvane;
using namespace tolvane::testing;

namespace {

struct SampleExpectation {
    const char* file;
    int folders;
    int topLevelMail;
    int contacts;
    int topLevelAppointments;
    int embeddedMail;
};

class SampleScan : public ::testing::TestWithParam<SampleExpectation> {};

template <typename List>
int CountTopLevel(const List& records, bool embedded)
{
    int count = 0;
    for (const auto& record : records) {
        if constexpr (std::is_same_v<std::decay_t<decltype(*record)>, AppointmentRecord>)
            count += record->itemLocation.isEmbedded() == embedded ? 1 : 0;
        else
            count += record->location.isEmbedded() == embedded ? 1 : 0;
    }
    return count;
}

TEST_P(SampleScan, CountsAgreeAndRecordsAreWellFormed)
{
    const SampleExpectation& expected = GetParam();
    const QString path = SamplePath(expected.file);
    TOLVANE_REQUIRE_SAMPLE(path);

    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    const SinkScan result = ScanInto(path, store, tempDir, sink);
    ASSERT_EQ(result.outcome, ScanOutcome::Completed);
    EXPECT_EQ(sink.notices(), QStringList{QStringLiteral("Analysis completed")});

    const auto folders = store.folderNodes();
    const auto mail = store.mailRecords();
    const auto contacts = store.contactRecords();
    const auto appointments = store.appointmentRecords();
    EXPECT_EQ(static_cast<int>(folders.size()), expected.folders);
    EXPECT_EQ(CountTopLevel(mail, false), expected.topLevelMail);
    EXPECT_EQ(CountTopLevel(mail, true), expected.embeddedMail);
    EXPECT_EQ(static_cast<int>(contacts.size()), expected.contacts);
    EXPECT_EQ(CountTopLevel(appointments, false), expected.topLevelAppointments);

    // Folder nodes: level-1 folders hang below the file's node, deeper ones below their parent.
    QSet<QString> folderNames;
    for (const auto& folder : folders) {
        folderNames.insert(folder->name);
        if (folder->depth == 1) {
            EXPECT_EQ(folder->parent, 0);
            EXPECT_EQ(folder->parentText, path);
            EXPECT_EQ(folder->exportPath, QString());
        } else {
            EXPECT_EQ(folder->exportPath.count(u'\\'), folder->depth - 1);
            EXPECT_TRUE(folder->exportPath.endsWith(folder->parentText)) << qPrintable(folder->exportPath);
        }
        EXPECT_FALSE(folder->name.isEmpty());
    }

    // Numbers are unique across the three kinds and count from 1 in this fresh store.
    QSet<int32_t> numbers;
    for (const auto& r : mail)
        numbers.insert(r->number);
    for (const auto& r : contacts)
        numbers.insert(r->number);
    for (const auto& r : appointments)
        numbers.insert(r->number);
    const int total = static_cast<int>(mail.size() + contacts.size() + appointments.size());
    EXPECT_EQ(numbers.size(), total);
    for (int n = 1; n <= total; ++n)
        EXPECT_TRUE(numbers.contains(n)) << n;

    PffFile file;
    ASSERT_TRUE(file.initialize());
    ASSERT_TRUE(file.open(path));
    for (const auto& record : mail) {
        EXPECT_EQ(record->recordKind, ItemKind::Mail);
        EXPECT_EQ(record->itemKind, ItemKind::Mail);
        if (!record->location.isEmbedded()) {
            EXPECT_TRUE(folderNames.contains(record->folderName)) << qPrintable(record->folderName);
        }
        EXPECT_FALSE(record->subject.startsWith(QChar(0x0001)));
        EXPECT_TRUE(RecordText::Size(*record).endsWith(QStringLiteral("  Bytes")));
        const QString deliveryTime = RecordText::DeliveryTime(*record);
        EXPECT_EQ(deliveryTime.size(), deliveryTime == QStringLiteral("None") ? 4 : 21);
        // The conversion finds every mail again by its recorded location.
        const LocatedItem located = LocateItem(file.get(), record->location);
        ASSERT_TRUE(located) << record->number;
        uint32_t identifier = 0;
        libpff_item_get_identifier(located.item(), &identifier, nullptr);
        EXPECT_EQ(identifier, record->location.itemIdentifier);
    }
}

INSTANTIATE_TEST_SUITE_P(Samples, SampleScan,
                         ::testing::Values(SampleExpectation{"200-recipients.pst", 4, 1, 0, 0, 0},
                                           SampleExpectation{"attachAndInline.pst", 4, 1, 0, 0, 0},
                                           SampleExpectation{"dist-list.pst", 23, 0, 1, 1, 0},
                                           SampleExpectation{"msgInMsg.pst", 4, 1, 0, 0, 1},
                                           SampleExpectation{"sample1.pst", 6, 1, 0, 0, 0},
                                           SampleExpectation{"sample2.pst", 6, 1, 0, 0, 0},
                                           SampleExpectation{"submessage.pst", 5, 1, 0, 0, 1},
                                           SampleExpectation{"test_ansi.pst", 5, 1, 0, 0, 0},
                                           SampleExpectation{"test_unicode.pst", 5, 2, 0, 0, 0}),
                         [](const auto& info) {
                             std::string name = info.param.file;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

TEST(SampleContent, TwoHundredRecipientsAndNoSender)
{
    const QString path = SamplePath("200-recipients.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    ASSERT_EQ(ScanInto(path, store, tempDir, sink).outcome, ScanOutcome::Completed);
    const auto mail = store.mailRecords();
    ASSERT_EQ(mail.size(), 1u);
    EXPECT_EQ(RecordText::Recipients(*mail[0]).count(QStringLiteral(" ;")), 200);
    EXPECT_EQ(RecordText::SenderName(*mail[0]), QStringLiteral("Unknown"));
    EXPECT_EQ(RecordText::SenderAddress(*mail[0]), QStringLiteral("Unknown"));
    EXPECT_EQ(mail[0]->folderName, QString::fromUtf8("Outlook データ ファイルのトップ"));
}

TEST(SampleContent, EmbeddedMessageIsARecordOfItsOwn)
{
    const QString path = SamplePath("msgInMsg.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    ASSERT_EQ(ScanInto(path, store, tempDir, sink).outcome, ScanOutcome::Completed);
    const auto mail = store.mailRecords();
    ASSERT_EQ(mail.size(), 2u);
    // The embedded message is exported during its parent's attachments step.
    const MailRecord& embedded = *mail[0];
    const MailRecord& parent = *mail[1];
    EXPECT_EQ(embedded.subject, QString::fromUtf8("Microsoft Outlook テスト メッセージ"));
    EXPECT_EQ(embedded.folderName, QString());
    EXPECT_EQ(embedded.location.attachmentPath, QVector<int>{0});
    EXPECT_EQ(embedded.location.topLevelIdentifier, parent.location.itemIdentifier);
    EXPECT_LT(embedded.number, parent.number);
    EXPECT_EQ(parent.subject, QStringLiteral("I have attachments!"));
    EXPECT_EQ(RecordText::Flag(parent), QStringLiteral("Attachments"));
    ASSERT_TRUE(tempDir.path().has_value());
    const QString directory = *tempDir.path() + QStringLiteral("/Attachments");
    EXPECT_EQ(RecordText::Attachments(parent),
              directory + QStringLiteral("/ ;") + directory + QStringLiteral("/green.png ;"));
    // The walk names attachments in its records only; it makes nothing on disk.
    EXPECT_FALSE(QFileInfo::exists(directory));
    // The parent's own collectors survive the embedded export.
    EXPECT_EQ(parent.body.text(), QStringLiteral("I have attachments!\r\n"));
    EXPECT_EQ(RecordText::Recipients(embedded), QStringLiteral("xmailuser ;"));
    EXPECT_EQ(RecordText::Recipients(parent), QString(u""_qs));
}

TEST(SampleContent, UnicodeAndAnsiTwinsAgree)
{
    const QString unicodePath = SamplePath("sample1.pst");
    const QString ansiPath = SamplePath("sample2.pst");
    TOLVANE_REQUIRE_SAMPLE(unicodePath);
    TOLVANE_REQUIRE_SAMPLE(ansiPath);
    ItemStore unicodeStore;
    ItemStore ansiStore;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink unicodeSink;
    cli::HeadlessScanSink ansiSink;
    ASSERT_EQ(ScanInto(unicodePath, unicodeStore, tempDir, unicodeSink).outcome, ScanOutcome::Completed);
    ASSERT_EQ(ScanInto(ansiPath, ansiStore, tempDir, ansiSink).outcome, ScanOutcome::Completed);
    const auto a = unicodeStore.mailRecords();
    const auto b = ansiStore.mailRecords();
    ASSERT_EQ(a.size(), 1u);
    ASSERT_EQ(b.size(), 1u);
    for (const auto* record : {a[0].get(), b[0].get()}) {
        EXPECT_EQ(record->subject, QStringLiteral("Here is a sample message"));
        EXPECT_EQ(RecordText::SenderName(*record), QStringLiteral("Terry Mahaffey"));
        EXPECT_EQ(RecordText::Recipients(*record), QStringLiteral("Terry Mahaffey ;"));
        EXPECT_EQ(record->bodyKind, BodyKind::Html);
        EXPECT_TRUE(record->body.text().startsWith(QStringLiteral("<html")));
        EXPECT_TRUE(RecordText::Attachments(*record).endsWith(QStringLiteral("/leah_thumper.jpg ;")));
        EXPECT_EQ(RecordText::DeliveryTime(*record), QStringLiteral("Mar 15, 2010 17:12:07"));
    }
    EXPECT_EQ(a[0]->body.text().size() > 1000, b[0]->body.text().size() > 1000);
}

TEST(SampleContent, ContactAndAppointmentFields)
{
    const QString path = SamplePath("dist-list.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink sink;
    ASSERT_EQ(ScanInto(path, store, tempDir, sink).outcome, ScanOutcome::Completed);
    const auto contacts = store.contactRecords();
    ASSERT_EQ(contacts.size(), 1u);
    const ContactRecord& contact = *contacts[0];
    EXPECT_EQ(contact.folderName, QStringLiteral("Contacts"));
    EXPECT_EQ(contact.folderKey, QStringLiteral("\\Top-of-Personal-Folders\\Contacts"));
    EXPECT_EQ(contact.givenName, QStringLiteral("contact"));
    EXPECT_EQ(contact.surname, QStringLiteral("1"));
    EXPECT_EQ(contact.fileUnder, QStringLiteral("1, contact name"));
    EXPECT_TRUE(contact.fullName.isNull());
    EXPECT_TRUE(contact.spareText1.isNull());
    EXPECT_EQ(contact.itemType, ItemKind::Contact);

    const auto appointments = store.appointmentRecords();
    ASSERT_FALSE(appointments.empty());
    const AppointmentRecord& appointment = *appointments.back();
    EXPECT_EQ(appointment.folderName, QStringLiteral("Calendar"));
    EXPECT_EQ(RecordText::StartTime(appointment), QStringLiteral("Aug 02, 2016 15:00:00"));
    EXPECT_EQ(RecordText::EndTime(appointment), QStringLiteral("Aug 02, 2016 15:30:00"));
    EXPECT_EQ(RecordText::Location(appointment), QStringLiteral(" "));
    EXPECT_EQ(RecordText::RecurrencePattern(appointment), QStringLiteral("every Tuesday from 8:00 AM to 8:30 AM"));
    EXPECT_EQ(RecordText::SubjectPlaceholder(appointment), QStringLiteral("None"));
    EXPECT_EQ(appointment.itemType, ItemKind::Appointment);
}

TEST(SampleContent, SecondScanContinuesTheNumbering)
{
    const QString path = SamplePath("msgInMsg.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    ItemStore store;
    const ProcessTempDir tempDir;
    cli::HeadlessScanSink first;
    ASSERT_EQ(ScanInto(path, store, tempDir, first).outcome, ScanOutcome::Completed);
    const int32_t last = store.itemNumber();
    cli::HeadlessScanSink second;
    ASSERT_EQ(ScanInto(path, store, tempDir, second).outcome, ScanOutcome::Completed);
    const auto mail = store.mailRecords();
    ASSERT_EQ(mail.size(), 2u);
    EXPECT_EQ(mail[0]->number, last + 1);
    EXPECT_EQ(mail[1]->number, last + 2);
}

}  // namespace

namespace {

// A sink whose tree refuses to grow, as if memory had run out.
class ExhaustedSink : public cli::HeadlessScanSink {
public:
    TreeNodeId InsertFolderNode(TreeNodeId parent, const QString& text) override
    {
        if (parent != 0)
            throw std::bad_alloc();
        return cli::HeadlessScanSink::InsertFolderNode(parent, text);
    }
};

TEST(SampleScanDeathTest, OutOfMemoryEndsTheProcessWithAFailureStatus)
{
    const QString path = SamplePath("msgInMsg.pst");
    TOLVANE_REQUIRE_SAMPLE(path);
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            ItemStore store;
            const ProcessTempDir tempDir;
            ExhaustedSink sink;
            cli::RunHeadlessScan(path, store, tempDir, sink);
        },
        ::testing::ExitedWithCode(kOutOfMemoryExitStatus), "Not Enough Memory");
}

}  // namespace
