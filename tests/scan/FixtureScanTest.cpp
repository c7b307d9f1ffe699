// Scans of mailboxes built by the project's PST writer, one per edge case of
// the folder walk and the item exporters.
#include "frontend/RecordText.h"
#include "tests/scan/ScanTestSupport.h"

#include "base/ProcessTempDir.h"
#include "scan/MailboxWalk.h"
#include "scan/PffHandles.h"
#include "scan/WorkerGate.h"
#include "pstwriter/PstBuilder.h"

#include <QTemporaryDir>

using namespace tolvane;
using namespace tolvane::testing;
namespace pw = tolvane::pstwriter;

namespace {

pw::FileTime At(int64_t unixSeconds) { return pw::FileTime::fromUnixSeconds(unixSeconds); }

std::string Repeat(char c, std::size_t count) { return std::string(count, c); }

// An HTML body of exactly `size` bytes.
std::string HtmlOfSize(std::size_t size)
{
    const std::string head = "<html><body>";
    const std::string tail = "</body></html>";
    return head + Repeat('x', size - head.size() - tail.size()) + tail;
}

class FixtureScan : public ::testing::Test {
protected:
    static void SetUpTestSuite()
    {
        directory_ = new QTemporaryDir();
        path_ = directory_->filePath(QStringLiteral("edge-cases.pst"));

        pw::PstBuilder pst;  // "Deleted Items" is the first folder below the top folder
        auto& top = pst.topOfPersonalFolders();
        auto& inbox = top.addFolder("Inbox");
        top.addFolderWithoutName().addMessage().subject("In the nameless folder");
        top.addFolder("a:b?c").addMessage().subject("In the odd folder");

        inbox.addMessage()
            .subject("Re: (Meeting)")
            .from("Ann Example", "ann@example.com")
            .to("Bob", "bob@example.com")
            .cc("Carl", "carl@example.com")
            .htmlBody("<p>meeting</p>")
            .body("meeting")
            .flags(0x11)
            .property(pw::tags::Priority, int32_t(-1))
            .importance(5)
            .property(pw::tags::Sensitivity, int32_t(2))
            .property(pw::tags::MessageSize, int32_t(2048))
            .received(At(1470150000));
        inbox.addMessage().subject("html at the limit").htmlBody(HtmlOfSize(65000)).body("short plain");
        inbox.addMessage().subject("html below the limit").htmlBody(HtmlOfSize(64999));
        inbox.addMessage().subject("plain at the limit").body(Repeat('p', 65000));
        inbox.addMessage().subject("rtf only").rtfBody("{\\rtf1\\ansi hello}");
        inbox.addMessage().subject("Ürün fiyatı").body("Ölçü ve ağırlık");
        inbox.addMessage().subject("Party 😀 tonight").body("Smile 😀 please");
        inbox.addMessage().subject("two files").body("see files").attach("a.txt", pw::Bytes{'a'}).attach(
            "b.doc", pw::Bytes{'b'});
        inbox.addMessage().subject("outer").body("outer body").embed(
            pw::Message().subject("inner").body("inner body").to("Dora", "dora@example.com"));
        inbox.addMessage().body("no subject, no sender");
        inbox.addMessage()
            .codepage(1251)
            .property(pw::MakeTag(0x0037, pw::PtString8), "\xCF\xF0\xE8\xE2\xE5\xF2")
            .htmlBody("<p>\xCF\xF0\xE8\xE2\xE5\xF2</p>");

        auto& calendar = top.addFolder("Calendar");
        calendar.addAppointment("with attachment")
            .appointment(At(1470150000), At(1470151800), "Room 1")
            .recurrencePattern("every Tuesday")
            .attach("agenda.pdf", pw::Bytes{'%', 'P', 'D', 'F'});
        calendar.addAppointment("without location").appointment(At(1470160000), At(1470161800));

        top.addFolder("Contacts").addContact("Given", "Surname");

        // Levels: the top folder is 1, so this chain reaches level 31.
        pw::PstFolder* deep = &top;
        for (int level = 2; level <= 31; ++level) {
            deep = &deep->addFolder("L" + std::to_string(level));
            deep->addMessage().subject("at level " + std::to_string(level));
        }
        pst.Write(path_.toStdString());

        store_ = new ItemStore();
        sink_ = new cli::HeadlessScanSink();
        tempDir_ = std::make_unique<ProcessTempDir>();
        result_ = ScanInto(path_, *store_, *tempDir_, *sink_);
    }

    static void TearDownTestSuite()
    {
        delete sink_;
        delete store_;
        delete directory_;
        tempDir_.reset();
    }

    static std::shared_ptr<const MailRecord> Mail(const QString& subject)
    {
        for (const auto& record : store_->mailRecords()) {
            if (record->subject == subject)
                return record;
        }
        ADD_FAILURE() << "no mail with subject " << subject.toStdString();
        return nullptr;
    }

    static std::shared_ptr<const FolderNode> Folder(const QString& name)
    {
        for (const auto& folder : store_->folderNodes()) {
            if (folder->name == name)
                return folder;
        }
        return nullptr;
    }

    static inline QTemporaryDir* directory_ = nullptr;
    static inline std::unique_ptr<ProcessTempDir> tempDir_;
    static inline QString path_;
    static inline ItemStore* store_ = nullptr;
    static inline cli::HeadlessScanSink* sink_ = nullptr;
    static inline SinkScan result_;
};

TEST_F(FixtureScan, Completes)
{
    EXPECT_EQ(result_.outcome, ScanOutcome::Completed);
    EXPECT_EQ(sink_->notices(), QStringList{QStringLiteral("Analysis completed")});
}

TEST_F(FixtureScan, NamelessThirdFolderIsNumbered)
{
    const auto folder = Folder(QStringLiteral("Folder00003"));
    ASSERT_NE(folder, nullptr);
    EXPECT_EQ(folder->depth, 2);
    EXPECT_EQ(Mail(QStringLiteral("In the nameless folder"))->folderName, QStringLiteral("Folder00003"));
}

TEST_F(FixtureScan, ColonAndQuestionMarkBecomeUnderscores)
{
    ASSERT_NE(Folder(QStringLiteral("a_b_c")), nullptr);
    const auto mail = Mail(QStringLiteral("In the odd folder"));
    EXPECT_EQ(mail->folderName, QStringLiteral("a_b_c"));
    EXPECT_EQ(mail->folderKey, QStringLiteral("\\Top-of-Personal-Folders\\a-b-c"));
}

TEST_F(FixtureScan, FoldersBelowLevel27HaveNoNodeButTheirItemsAreKept)
{
    for (int level = 2; level <= 31; ++level) {
        const QString name = QStringLiteral("L%1").arg(level);
        const auto folder = Folder(name);
        if (level <= 27) {
            ASSERT_NE(folder, nullptr) << level;
            EXPECT_EQ(folder->depth, level);
            EXPECT_EQ(folder->parentText, level == 2 ? QStringLiteral("Top of Personal Folders")
                                                     : QStringLiteral("L%1").arg(level - 1));
        } else {
            EXPECT_EQ(folder, nullptr) << level;
        }
        const auto mail = Mail(QStringLiteral("at level %1").arg(level));
        ASSERT_NE(mail, nullptr);
        EXPECT_EQ(mail->folderName, name);
    }
}

TEST_F(FixtureScan, HeaderWords)
{
    const auto mail = Mail(QStringLiteral("Re- -Meeting)"));
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(RecordText::Flag(*mail), QStringLiteral("Attachments"));
    EXPECT_EQ(RecordText::Priority(*mail), QStringLiteral("Non Urgent"));
    EXPECT_EQ(RecordText::Importance(*mail), QStringLiteral(" "));
    EXPECT_EQ(RecordText::Sensitivity(*mail), QStringLiteral("Private"));
    EXPECT_EQ(RecordText::Size(*mail), QStringLiteral("2048  Bytes"));
    EXPECT_EQ(RecordText::SenderName(*mail), QStringLiteral("Ann Example"));
    EXPECT_EQ(RecordText::SenderAddress(*mail), QStringLiteral("ann@example.com"));
    EXPECT_EQ(RecordText::Recipients(*mail), QStringLiteral("Bob ;Carl ;"));
    EXPECT_EQ(RecordText::DeliveryTime(*mail), QStringLiteral("Aug 02, 2016 15:00:00"));
    EXPECT_EQ(mail->folderName, QStringLiteral("Inbox"));
    EXPECT_EQ(mail->folderKey, QStringLiteral("\\Top-of-Personal-Folders\\Inbox"));
    // HTML wins over plain text.
    EXPECT_EQ(mail->bodyKind, BodyKind::Html);
    EXPECT_EQ(mail->body.text(), QStringLiteral("<p>meeting</p>"));
}

TEST_F(FixtureScan, BodySizeLimit)
{
    const auto atLimit = Mail(QStringLiteral("html at the limit"));
    EXPECT_EQ(atLimit->body.text(), QString());
    EXPECT_FALSE(atLimit->body.isNull());
    const auto below = Mail(QStringLiteral("html below the limit"));
    EXPECT_EQ(below->body.byteSize(), 64999);
    EXPECT_EQ(below->bodyKind, BodyKind::Html);
    EXPECT_TRUE(Mail(QStringLiteral("plain at the limit"))->body.text().isEmpty());
    // Nothing kept: the kind of the last body kept stays.
    EXPECT_TRUE(Mail(QStringLiteral("rtf only"))->body.text().isEmpty());
}

TEST_F(FixtureScan, NonAsciiAndSurrogatesSurvive)
{
    const auto turkish = Mail(QString::fromUtf8("Ürün fiyatı"));
    ASSERT_NE(turkish, nullptr);
    EXPECT_EQ(turkish->body.text(), QString::fromUtf8("Ölçü ve ağırlık"));
    EXPECT_EQ(turkish->bodyKind, BodyKind::PlainText);
    const auto party = Mail(QStringLiteral("Party - tonight"));
    ASSERT_NE(party, nullptr);
    EXPECT_EQ(party->body.text(), QString::fromUtf8("Smile 😀 please"));
}

TEST_F(FixtureScan, EightBitTextUsesTheMessageCodePage)
{
    const auto mail = Mail(QString::fromUtf8("Привет"));
    ASSERT_NE(mail, nullptr);
    EXPECT_EQ(mail->body.text(), QString::fromUtf8("<p>Привет</p>"));
}

TEST_F(FixtureScan, AttachmentNamesAndEmbeddedMessage)
{
    // The names the list and the preview show, in the process's directory.
    ASSERT_TRUE(tempDir_->path().has_value());
    const QString directory = *tempDir_->path() + QStringLiteral("/Attachments");
    EXPECT_EQ(RecordText::Attachments(*Mail(QStringLiteral("two files"))),
              directory + QStringLiteral("/a.txt ;") + directory + QStringLiteral("/b.doc ;"));
    const auto outer = Mail(QStringLiteral("outer"));
    const auto inner = Mail(QStringLiteral("inner"));
    ASSERT_NE(outer, nullptr);
    ASSERT_NE(inner, nullptr);
    EXPECT_EQ(inner->folderName, QString());
    EXPECT_EQ(RecordText::Recipients(*inner), QStringLiteral("Dora ;"));
    EXPECT_EQ(inner->body.text(), QStringLiteral("inner body"));
    EXPECT_EQ(outer->body.text(), QStringLiteral("outer body"));
    EXPECT_TRUE(RecordText::Recipients(*outer).isEmpty());
    EXPECT_EQ(inner->number + 1, outer->number);
    EXPECT_EQ(inner->location.topLevelIdentifier, outer->location.itemIdentifier);
    EXPECT_EQ(inner->location.attachmentPath, QVector<int>{0});
}

TEST_F(FixtureScan, MissingSubjectAndSender)
{
    std::shared_ptr<const MailRecord> found;
    for (const auto& record : store_->mailRecords()) {
        if (record->body.text() == QStringLiteral("no subject, no sender"))
            found = record;
    }
    ASSERT_NE(found, nullptr);
    EXPECT_TRUE(found->subject.isNull());
    EXPECT_EQ(RecordText::SenderName(*found), QStringLiteral("Unknown"));
    EXPECT_EQ(RecordText::SenderAddress(*found), QStringLiteral("Unknown"));
    EXPECT_EQ(RecordText::DeliveryTime(*found), QStringLiteral("None"));
    EXPECT_EQ(RecordText::Priority(*found), QStringLiteral("None"));
}

TEST_F(FixtureScan, AppointmentsAndTheirAttachments)
{
    const auto appointments = store_->appointmentRecords();
    ASSERT_EQ(appointments.size(), 2u);
    EXPECT_EQ(appointments[0]->location, QStringLiteral("Room 1"));
    EXPECT_EQ(appointments[0]->recurrencePattern, QStringLiteral("every Tuesday"));
    EXPECT_EQ(RecordText::StartTime(*appointments[0]), QStringLiteral("Aug 02, 2016 15:00:00"));
    EXPECT_EQ(RecordText::EndTime(*appointments[0]), QStringLiteral("Aug 02, 2016 15:30:00"));
    EXPECT_EQ(appointments[0]->folderName, QStringLiteral("Calendar"));
    EXPECT_EQ(RecordText::Location(*appointments[1]), QStringLiteral(" "));
    EXPECT_EQ(RecordText::RecurrencePattern(*appointments[1]), QStringLiteral(" "));
    ASSERT_TRUE(tempDir_->path().has_value());
    // The walk names attachments in its records only; it makes nothing on disk.
    EXPECT_FALSE(QFileInfo::exists(*tempDir_->path() + QStringLiteral("/Attachments")));
    for (const auto& mail : store_->mailRecords())
        EXPECT_FALSE(RecordText::Attachments(*mail).contains(QStringLiteral("agenda.pdf")));
}

TEST_F(FixtureScan, ContactWithOnlyNames)
{
    const auto contacts = store_->contactRecords();
    ASSERT_EQ(contacts.size(), 1u);
    const ContactRecord& contact = *contacts[0];
    EXPECT_EQ(contact.givenName, QStringLiteral("Given"));
    EXPECT_EQ(contact.surname, QStringLiteral("Surname"));
    EXPECT_TRUE(contact.companyName.isNull());
    EXPECT_TRUE(contact.mobilePhone.isNull());
    EXPECT_TRUE(contact.notes.isNull());
    EXPECT_EQ(contact.folderName, QStringLiteral("Contacts"));
    EXPECT_GT(contact.number, 0);
}

TEST_F(FixtureScan, NumbersCountInWalkOrder)
{
    // Items of sub-folders come before the folder's own items; numbers follow that order.
    const auto mail = store_->mailRecords();
    for (std::size_t i = 1; i < mail.size(); ++i)
        EXPECT_LT(mail[i - 1]->number, mail[i]->number);
    EXPECT_EQ(store_->itemNumber(),
              static_cast<int32_t>(mail.size() + store_->contactCount() + store_->appointmentCount()));
}

}  // namespace

namespace {

// Visits nothing; the walk's own result is what is looked at.
class IgnoringVisitor final : public WalkVisitor {
public:
    void FolderEntered(MailboxWalk&, const WalkFolder&) override { ++folders; }
    WalkStep ItemFound(MailboxWalk&, libpff_item_t*, uint8_t, int, const QString&) override { return WalkStep::Done; }
    int folders = 0;
};

}  // namespace

// A walk says in its result how it ended: whole, or abandoned by the user
// before its end (then it has entered no folder after the Stop).
TEST_F(FixtureScan, AWalkSaysWhetherItWasAbandoned)
{
    PffFile file;
    ASSERT_TRUE(file.initialize() && file.open(path_));
    for (const bool abandon : {false, true}) {
        SCOPED_TRACE(abandon ? "abandoned" : "whole");
        WorkerGate gate;
        if (abandon)
            gate.Abandon();
        IgnoringVisitor visitor;
        MailboxWalk walk(visitor, WalkReporting{}, &gate, 1252);
        const WalkResult result = walk.Run(file.get(), QStringLiteral(".export"));
        EXPECT_EQ(result.has_value(), !abandon);
        if (abandon) {
            ASSERT_FALSE(result.has_value());
            EXPECT_EQ(result.error().kind, WalkStopKind::Abandoned);
            EXPECT_EQ(visitor.folders, 0);
        } else {
            EXPECT_GT(visitor.folders, 0);
        }
    }
}
