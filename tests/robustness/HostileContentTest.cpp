// Hostile content, written with the project's PST writer: names that try to
// climb out of the destination, huge and odd texts, huge counts and deep
// nesting. Every mail comes out, inside the destination, and nothing else on
// disk changes.
#include "tests/robustness/Fixtures.h"

#include "convert/read/MailboxItemFinder.h"
#include "scan/ScanEvents.h"

#include <gmime/gmime.h>

#include <QProcess>
#include <QSet>

#include <cstdlib>

#include <fcntl.h>

namespace tolvane::robustness {
namespace {

using tolvane::pstwriter::Message;
using tolvane::pstwriter::PstBuilder;
using tolvane::pstwriter::PstFolder;

// Owns one parsed .eml.
class ParsedMail {
public:
    explicit ParsedMail(const QString& path)
    {
        static const bool ready = [] { g_mime_init(); return true; }();
        (void)ready;
        GMimeStream* stream = g_mime_stream_fs_open(QFile::encodeName(path).constData(), O_RDONLY, 0, nullptr);
        if (stream == nullptr)
            return;
        GMimeParser* parser = g_mime_parser_new_with_stream(stream);
        message_ = g_mime_parser_construct_message(parser, nullptr);
        g_object_unref(parser);
        g_object_unref(stream);
    }
    ~ParsedMail()
    {
        if (message_ != nullptr)
            g_object_unref(message_);
    }
    ParsedMail(const ParsedMail&) = delete;
    ParsedMail& operator=(const ParsedMail&) = delete;

    GMimeMessage* get() const { return message_; }
    QString subject() const
    {
        return message_ ? QString::fromUtf8(g_mime_message_get_subject(message_)) : QString();
    }
    int toCount() const
    {
        InternetAddressList* to = message_ ? g_mime_message_get_to(message_) : nullptr;
        return to ? internet_address_list_length(to) : -1;
    }

private:
    GMimeMessage* message_ = nullptr;
};

// How deep message/rfc822 parts nest below this message, and the subjects met on the way.
int EmbeddingDepth(GMimeObject* part, QStringList* subjects)
{
    if (part == nullptr)
        return 0;
    if (GMIME_IS_MESSAGE_PART(part)) {
        GMimeMessage* inner = g_mime_message_part_get_message(GMIME_MESSAGE_PART(part));
        if (inner == nullptr)
            return 0;
        subjects->append(QString::fromUtf8(g_mime_message_get_subject(inner)));
        return 1 + EmbeddingDepth(g_mime_message_get_mime_part(inner), subjects);
    }
    int deepest = 0;
    if (GMIME_IS_MULTIPART(part)) {
        GMimeMultipart* multipart = GMIME_MULTIPART(part);
        for (int i = 0; i < g_mime_multipart_get_count(multipart); ++i)
            deepest = std::max(deepest, EmbeddingDepth(g_mime_multipart_get_part(multipart, i), subjects));
    }
    return deepest;
}

// The two largest cases take minutes under the sanitizers on a shared
// machine, mostly in writing the fixture; they run when TOLVANE_LARGE_TESTS=1.
bool LargeTestsWanted()
{
    return qgetenv("TOLVANE_LARGE_TESTS") == "1";
}

// Scans and converts a mailbox written by `build`, with the temporary
// directory moved into the scratch area, and checks the common promises.
struct HostileRun {
    ScanRun scan;
    ConvertRun conversion;
    QStringList emlFiles;
};

class HostileContentTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(area_.isValid());
        const QByteArray previous = qgetenv("TMPDIR");
        hadTmpdir_ = !previous.isNull();
        previousTmpdir_ = previous;
        QDir().mkpath(area_.root() + "/tmp");
        qputenv("TMPDIR", QFile::encodeName(area_.root() + "/tmp"));
    }
    void TearDown() override
    {
        if (hadTmpdir_)
            qputenv("TMPDIR", previousTmpdir_);
        else
            qunsetenv("TMPDIR");
    }

    HostileRun Run(PstBuilder& pst)
    {
        HostileRun run;
        const QString input = area_.input(QStringLiteral("hostile.pst"));
        pst.Write(input.toStdString());
        const TreeSnapshot before = area_.Outside();
        run.scan = ScanFile(input);
        EXPECT_EQ(run.scan.outcome, ScanOutcome::Completed);
        EXPECT_EQ(run.scan.notices, ExpectedScanNotices(ScanOutcome::Completed));
        run.conversion = ConvertScan(run.scan, input, area_.destination());
        ExpectHonestConversion(run.scan, run.conversion, area_.outputRoot());
        // What the scan had to leave out, the conversion's files say they lack.
        if (run.scan.skipped.isEmpty()) {
            EXPECT_TRUE(run.conversion.summary.allSaved()) << qPrintable(run.conversion.summary.firstFailures.join('\n'));
        }
        run.emlFiles = FilesEndingIn(area_.outputRoot(), QStringLiteral(".eml"));
        // The scan's own directory below TMPDIR is the only thing allowed to appear outside.
        TreeSnapshot after = area_.Outside();
        const QString privateDir = QStringLiteral("tmp/tolvane-%1").arg(::getuid());
        for (auto it = after.begin(); it != after.end();) {
            if (it->first == privateDir || it->first.startsWith(privateDir + u'/'))
                it = after.erase(it);
            else
                ++it;
        }
        EXPECT_EQ(after, before);
        return run;
    }

    ScratchArea area_;

private:
    bool hadTmpdir_ = false;
    QByteArray previousTmpdir_;
};

const std::string kLongName(4000, 'n');
const std::vector<std::string> kHostileTexts = {
    "..", ".", "/", "a/../../b", kLongName, "\x01\x02tab\there\nnew line\x1f", "   ", "\xF0\x9F\x93\xAC Post \xF0\x9F\x94\xA5",
};

TEST_F(HostileContentTest, FolderNamesAndSubjects)
{
    PstBuilder pst;
    PstFolder& top = pst.topOfPersonalFolders();
    PstFolder& inbox = top.addFolder("Inbox");
    for (const std::string& text : kHostileTexts) {
        top.addFolder(text).addMessage().subject(text).body("in a hostile folder");
        inbox.addMessage().subject(text).body("hostile subject");
    }
    top.addFolder("..").addFolder("..").addFolder("x").addMessage().subject("climber").body("three levels");
    const int expected = static_cast<int>(kHostileTexts.size()) * 2 + 1;

    const HostileRun run = Run(pst);
    EXPECT_EQ(static_cast<int>(run.scan.store->mailCount()), expected);
    EXPECT_EQ(run.conversion.summary.counts.Complete(OutcomeKind::Mail), expected);
    EXPECT_EQ(run.emlFiles.size(), expected);

    QStringList subjects;
    for (const QString& path : run.emlFiles)
        subjects << ParsedMail(path).subject();
    for (const char* text : {"..", ".", "/", "a/../../b", "climber"})
        EXPECT_EQ(subjects.count(QString::fromUtf8(text)), QString(text) == "climber" ? 1 : 2) << text;
    EXPECT_EQ(subjects.count(QString::fromStdString(kLongName)), 2);
    EXPECT_EQ(subjects.count(QString::fromUtf8(kHostileTexts.back().c_str())), 2);
}

TEST_F(HostileContentTest, TenThousandRecipients)
{
    if (!LargeTestsWanted())
        GTEST_SKIP() << "large case: set TOLVANE_LARGE_TESTS=1 to run it";
    PstBuilder pst;
    Message& message = pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    message.subject("Everyone").body("hello all");
    for (int i = 0; i < 10000; ++i)
        message.to("Person " + std::to_string(i), "p" + std::to_string(i) + "@example.com");

    const HostileRun run = Run(pst);
    ASSERT_EQ(run.scan.store->mailCount(), 1u);
    EXPECT_EQ(run.scan.store->mailRecords().front()->recipients.count(QStringLiteral(" ;")), 10000);
    ASSERT_EQ(run.emlFiles.size(), 1);
    EXPECT_EQ(ParsedMail(run.emlFiles.front()).toCount(), 10000);
}

TEST_F(HostileContentTest, AttachmentNamesThatClimb)
{
    PstBuilder pst;
    Message& message = pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    message.subject("Climbing attachments").body("see attached");
    for (const char* name : {"../../x", "/x", "..", ".", "a/../../../x", "\x01x"})
        message.attach(name, tolvane::pstwriter::Bytes{'d', 'a', 't', 'a'}, "application/octet-stream");
    message.addEmbeddedMessage("../../y").subject("inner").body("inner body").attach("../../z",
        tolvane::pstwriter::Bytes{'z'});

    const HostileRun run = Run(pst);
    EXPECT_EQ(run.conversion.summary.counts.Complete(OutcomeKind::Mail), 1);
    ASSERT_EQ(run.emlFiles.size(), 1);
    // Nothing named after an attachment exists anywhere in the scratch area.
    QDirIterator it(area_.root(), QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString name = QFileInfo(it.next()).fileName();
        EXPECT_FALSE(name == "x" || name == "y" || name == "z") << qPrintable(it.filePath());
    }
}

TEST_F(HostileContentTest, MessageEmbeddedFiftyLevelsDeep)
{
    PstBuilder pst;
    Message* message = &pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    message->subject("level 0").body("outermost");
    for (int level = 1; level <= 50; ++level) {
        message = &message->addEmbeddedMessage("level " + std::to_string(level));
        message->subject("level " + std::to_string(level)).body("body " + std::to_string(level));
    }

    const HostileRun run = Run(pst);
    EXPECT_EQ(run.scan.store->mailCount(), 51u);
    ASSERT_EQ(run.emlFiles.size(), 1);
    EXPECT_EQ(run.conversion.summary.counts.Written(OutcomeKind::EmbeddedMail), 50);
    const ParsedMail mail(run.emlFiles.front());
    ASSERT_NE(mail.get(), nullptr);
    QStringList subjects;
    EXPECT_EQ(EmbeddingDepth(g_mime_message_get_mime_part(mail.get()), &subjects), 50);
    EXPECT_TRUE(subjects.contains(QStringLiteral("level 50")));
}

TEST_F(HostileContentTest, ThousandFoldersWithTheSameName)
{
    PstBuilder pst;
    PstFolder& top = pst.topOfPersonalFolders();
    for (int i = 0; i < 1000; ++i)
        top.addFolder("Same").addMessage().subject("m" + std::to_string(i)).body("x");

    const HostileRun run = Run(pst);
    EXPECT_EQ(run.scan.store->mailCount(), 1000u);
    EXPECT_EQ(run.emlFiles.size(), 1000);
    QSet<QString> subjects;
    for (const QString& path : run.emlFiles)
        subjects.insert(ParsedMail(path).subject());
    EXPECT_EQ(subjects.size(), 1000);
}

TEST_F(HostileContentTest, FolderWithHundredThousandMessages)
{
    if (!LargeTestsWanted())
        GTEST_SKIP() << "large case: set TOLVANE_LARGE_TESTS=1 to run it";
    constexpr int kCount = 100000;
    PstBuilder pst;
    PstFolder& big = pst.topOfPersonalFolders().addFolder("Big");
    for (int i = 0; i < kCount; ++i)
        big.addMessage().subject("n" + std::to_string(i)).body("x");

    const HostileRun run = Run(pst);
    EXPECT_EQ(static_cast<int>(run.scan.store->mailCount()), kCount);
    EXPECT_EQ(run.conversion.summary.counts.Complete(OutcomeKind::Mail), kCount);
    EXPECT_EQ(run.emlFiles.size(), kCount);
}

// A hierarchy far deeper than any real mailbox: the walk goes down to its
// bound and cuts below it instead of following the file forever, and names
// the folder it cut.
TEST_F(HostileContentTest, FolderHierarchyDeeperThanTheBound)
{
    PstBuilder pst;
    PstFolder* folder = &pst.topOfPersonalFolders();
    for (int level = 1; level <= 300; ++level) {
        folder = &folder->addFolder("d");
        if (level == 100 || level == 300)
            folder->addMessage().subject("at " + std::to_string(level)).body("deep");
    }

    const HostileRun run = Run(pst);
    QStringList subjects;
    for (const auto& record : run.scan.store->mailRecords())
        subjects << record->subject;
    EXPECT_TRUE(subjects.contains(QStringLiteral("at 100")));
    EXPECT_FALSE(subjects.contains(QStringLiteral("at 300")));
    EXPECT_EQ(run.emlFiles.size(), run.scan.store->mailCount());
    ASSERT_EQ(run.scan.skipped.size(), 1);
    EXPECT_TRUE(run.scan.skipped.front().endsWith(QStringLiteral(", folder 1: nested deeper than 256 levels")))
        << run.scan.skipped.front().toStdString();
}

// A hierarchy that lists one of a folder's ancestors among its sub-folders.
// Every walk of the mailbox (the scan's, and the index of where each item
// sits that the conversion's reader makes) cuts the loop there and names the
// folder it cut, in the same words, and still reaches every item. (libpff
// refuses to hand out a folder listed below itself, so the walk meets it as
// a folder that cannot be read; one it does hand out is cut as containing
// itself.)
TEST_F(HostileContentTest, FolderHierarchyThatLoopsBackOnItself)
{
    PstBuilder pst;
    PstFolder& outer = pst.topOfPersonalFolders().addFolder("Outer");
    outer.addMessage().subject("outer mail").body("outer");
    PstFolder& inner = outer.addFolder("Inner");
    inner.addMessage().subject("inner mail").body("inner");
    inner.listFolder(outer);

    const HostileRun run = Run(pst);
    QStringList subjects;
    for (const auto& record : run.scan.store->mailRecords())
        subjects << record->subject;
    subjects.sort();
    EXPECT_EQ(subjects, (QStringList{QStringLiteral("inner mail"), QStringLiteral("outer mail")}));
    EXPECT_EQ(run.emlFiles.size(), 2u);
    ASSERT_EQ(run.scan.skipped.size(), 1);
    const QString cut = run.scan.skipped.front();
    EXPECT_TRUE(cut == QStringLiteral("\\Top of Personal Folders\\Outer\\Inner, folder 1: the folder cannot be read")
                || cut == QStringLiteral("\\Top of Personal Folders\\Outer\\Inner, folder 1: the folder contains itself"))
        << qPrintable(cut);

    // The reader's index, walked even where libpff looks items up itself.
    struct SkipList : ScanEvents {
        void ItemUnreadable(const UnreadableItem& item) override { places << item.place() + QStringLiteral(": ") + item.reason; }
        QStringList places;
    } skips;
    PffFile file;
    ASSERT_TRUE(file.initialize() && file.open(area_.input(QStringLiteral("hostile.pst"))));
    MailboxItemFinder finder;
    finder.Attach(file.get());
    finder.IndexItems(&skips, MailboxItemFinder::IndexWalk::Always);
    EXPECT_EQ(skips.places, QStringList{cut});
    for (const auto& record : run.scan.store->mailRecords()) {
        PffItem holder;
        LocatedItem located;
        EXPECT_NE(finder.ItemAtLocation(record->location, holder, located), nullptr) << qPrintable(record->subject);
    }
}

// Embedded messages below the bound are cut and named, so the command line
// does not report a complete conversion.
TEST_F(HostileContentTest, MessageEmbeddedDeeperThanTheBound)
{
    PstBuilder pst;
    Message* message = &pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    message->subject("level 0").body("outermost");
    for (int level = 1; level <= 70; ++level) {
        message = &message->addEmbeddedMessage("level " + std::to_string(level));
        message->subject("level " + std::to_string(level)).body("body " + std::to_string(level));
    }

    const HostileRun run = Run(pst);
    EXPECT_EQ(run.scan.store->mailCount(), 65u);
    ASSERT_EQ(run.scan.skipped.size(), 1);
    EXPECT_EQ(run.scan.skipped.front(), QStringLiteral("\\Top of Personal Folders\\Inbox, item 1, message embedded at "
                                                       "level 65: nested deeper than 64 levels"));
    EXPECT_EQ(run.conversion.summary.counts.Incomplete(OutcomeKind::Mail), 1);
    ASSERT_EQ(run.emlFiles.size(), 1);
    EXPECT_TRUE(SaysIncomplete(ReadAll(run.emlFiles.front())));

    const QString cli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");
    if (!QFileInfo(cli).isExecutable())
        GTEST_SKIP() << "tolvane-cli is not built";
    QProcess process;
    process.start(cli, {QStringLiteral("convert"), area_.input(QStringLiteral("hostile.pst")), area_.destination()});
    ASSERT_TRUE(process.waitForFinished(-1));
    EXPECT_EQ(process.exitCode(), 4);
    EXPECT_TRUE(process.readAllStandardError().contains("nested deeper than 64 levels"));
}

// A contact carried inside a mail goes to the vCards of the mail's folder,
// not to a directory named after the scan's temporary attachment path.
TEST_F(HostileContentTest, EmbeddedContactLandsInItsMessagesFolder)
{
    PstBuilder pst;
    Message& carrier = pst.topOfPersonalFolders().addFolder("Inbox").addMessage();
    carrier.subject("card inside").body("see the contact");
    Message contact("IPM.Contact");
    contact.contactNames("Eve", "Embedded").subject("Eve Embedded");
    carrier.embed(std::move(contact), "Eve Embedded");

    const HostileRun run = Run(pst);
    ASSERT_EQ(run.scan.store->contactCount(), 1u);
    EXPECT_EQ(run.scan.store->contactRecords().front()->folderKey,
              QStringLiteral("\\Top-of-Personal-Folders\\Inbox"));
    const QStringList cards = FilesEndingIn(area_.outputRoot(), QStringLiteral(".vcf"));
    ASSERT_EQ(cards.size(), 1);
    EXPECT_EQ(QFileInfo(cards.front()).path(), area_.outputRoot() + QStringLiteral("/Top-of-Personal-Folders/Inbox"));
}

}  // namespace
}  // namespace tolvane::robustness
