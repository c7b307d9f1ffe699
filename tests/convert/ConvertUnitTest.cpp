// Naming, safe writing, output folders, RTF recovery and vCards.
#include "tests/convert/ConvertTestSupport.h"

#include "pstwriter/CompressedRtf.h"
#include "convert/read/BodyText.h"
#include "convert/read/EntryIdAddress.h"
#include "pstwriter/EntryIds.h"
#include "convert/ConversionDriver.h"
#include "convert/MailFeed.h"
#include "convert/MessagePreparer.h"
#include "convert/output/NewFileWriter.h"
#include "convert/output/OutputNaming.h"
#include "convert/output/OutputTree.h"
#include "convert/read/RtfBody.h"
#include "convert/compose/VCardWriter.h"
#include "base/NativePath.h"
#include "base/UniqueFd.h"

#include <QFileInfo>

#include <cstring>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {
namespace {

using testing::FilesBelow;
using testing::ReadAll;

TEST(ConversionRandomTest, ProducesTheFixedSequenceFromOne)
{
    ConversionRandom random;
    const int expected[] = {41, 18467, 6334, 26500, 19169, 15724, 11478, 29358};
    for (int value : expected)
        EXPECT_EQ(random.Next(), value);
    ConversionRandom fresh;
    EXPECT_EQ(fresh.Next(), 41);
}

TEST(OutputFolderNameTest, UsesPlainDecimalsOfDayMonthYearHourMinute)
{
    EXPECT_EQ(OutputFolderName(QDateTime(QDate(2011, 3, 5), QTime(9, 7))), "Vorsk-Recovery-5-3-2011 9-7");
    EXPECT_EQ(OutputFolderName(QDateTime(QDate(2026, 12, 31), QTime(23, 59))), "Vorsk-Recovery-31-12-2026 23-59");
    EXPECT_EQ(OutputFolderName(QDateTime(QDate(2000, 1, 1), QTime(0, 0))), "Vorsk-Recovery-1-1-2000 0-0");
}

TEST(FileNameTest, ReplacesSlashesAndControlsAndFitsIn255Bytes)
{
    EXPECT_EQ(FileNameFor("Minutes", "41", ".eml"), "Minutes41.eml");
    EXPECT_EQ(FileNameFor("Minutes", "41", ".eml", 2), "Minutes41-2.eml");
    EXPECT_EQ(FileNameFor("a/b\tc\x01", "7", ".eml"), "a-b-c-7.eml");
    EXPECT_EQ(FileNameFor("Unknown <Unknown>", "41", ".eml"), "Unknown <Unknown>41.eml");
    // Halves of surrogate pairs are no characters; a whole pair stays. U+DCC3
    // U+DCA9 would otherwise become the bytes of "é" on disk.
    const char16_t halves[] = {0xDCC3, 0xDCA9, u' ', 0xD83D, 0xDE00, u' ', 0xD800, 0};
    EXPECT_EQ(FileNameFor(QString::fromUtf16(halves), "7", ".eml"),
              QString::fromUtf16(u"-- \xD83D\xDE00 -7.eml"));

    const QString longAscii(400, u'x');
    const QString cut = FileNameFor(longAscii, "18467", ".eml");
    EXPECT_EQ(cut.toUtf8().size(), 255);
    EXPECT_TRUE(cut.endsWith("18467.eml"));

    // Three-byte and four-byte characters are never split.
    const QString cjk = QString(200, QChar(0x65E5)) + QString::fromUtf8("\xF0\x9F\x98\x80");
    const QString cutCjk = FileNameFor(cjk, "6334", ".eml", 12);
    EXPECT_LE(cutCjk.toUtf8().size(), 255);
    EXPECT_TRUE(cutCjk.endsWith("6334-12.eml"));
    EXPECT_EQ(QString::fromUtf8(cutCjk.toUtf8()), cutCjk);
}

TEST(DirectoryForFolderKeyTest, NeverLeavesTheOutputRoot)
{
    const QString root = "/out/Vorsk-Recovery-1-1-2000 0-0";
    const struct {
        const char* key;
        const char* expected;
    } cases[] = {
        {"\\Top-of-Personal-Folders\\Inbox", "/Top-of-Personal-Folders/Inbox"},
        {"", ""},
        {"\\..\\..\\etc", "/--/--/etc"},
        {"\\.\\x", "/x"},
        {"\\a/b\\c", "/a-b/c"},
        {"\\/etc/passwd", "/-etc-passwd"},
        {"\\\\\\x", "/x"},
        {"\\tab\there", "/tab-here"},
    };
    for (const auto& c : cases) {
        const QString directory = DirectoryForFolderKey(root, QString::fromUtf8(c.key));
        EXPECT_EQ(directory, root + QString::fromUtf8(c.expected)) << c.key;
        EXPECT_TRUE(QDir::cleanPath(directory).startsWith(root)) << c.key;
    }
    const QString longKey = "\\" + QString(300, u'n');
    const QString directory = DirectoryForFolderKey(root, longKey);
    EXPECT_EQ(directory.mid(root.size() + 1).toUtf8().size(), 255);
}

TEST(RemoveFolderTreeTest, RemovesNestedContentAndReportsMissingFolders)
{
    QTemporaryDir temp;
    const QString tree = temp.filePath("Attachments");
    QDir().mkpath(tree + "/a/b/c");
    QFile(tree + "/a/b/c/file.txt").open(QIODevice::WriteOnly);
    QFile(tree + "/.hidden").open(QIODevice::WriteOnly);
    // A link to outside content is removed, never followed.
    const QString outside = temp.filePath("keep");
    QDir().mkpath(outside);
    QFile(outside + "/precious").open(QIODevice::WriteOnly);
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(tree + "/a/link").constData()), 0);
    // Names whose bytes a text decoder would change: a leading byte-order
    // mark, a zero-width space, both forms of one accent, bytes not UTF-8.
    const QByteArray native = NativePath(tree);
    for (const QByteArray& name : {QByteArray("\xEF\xBB\xBF" "bom"), QByteArray("\xE2\x80\x8B"), QByteArray("\xC3\xA9"),
                                   QByteArray("e\xCC\x81"), QByteArray("caf\xE9\xFF")}) {
        ASSERT_EQ(::mkdir((native + '/' + name).constData(), 0700), 0) << name.toHex().constData();
        const UniqueFd file(::open((native + '/' + name + "/inside").constData(), O_WRONLY | O_CREAT | O_EXCL, 0600));
        ASSERT_TRUE(file) << name.toHex().constData();
    }

    EXPECT_EQ(RemoveFolderTree(tree + "/"), 1);
    EXPECT_FALSE(QFileInfo::exists(tree));
    EXPECT_TRUE(QFileInfo::exists(outside + "/precious"));
    EXPECT_EQ(RemoveFolderTree(tree), 0);
}

// Both kinds of temporary: the unnamed one, and the named one that file
// systems without O_TMPFILE get.
class NewFileWriterTest : public ::testing::TestWithParam<TemporaryKind> {
protected:
    SaveResult Write(const QString& directory, const ContentWriter& content)
    {
        const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY);
        if (fd < 0)
            return NotSaved(WriteFailure::NoDirectory, "cannot open");
        SaveResult result = WriteNewFileAt(fd, directory, name_, content, GetParam());
        ::close(fd);
        return result;
    }
    SaveResult Write(const QString& directory, const QByteArray& content)
    {
        return Write(directory, [content](int fd) { return WriteAllTo(fd, content.constData(), content.size()); });
    }

    std::function<QString(int)> name_ = [](int attempt) { return FileNameFor("Minutes", "41", ".eml", attempt); };
};

TEST_P(NewFileWriterTest, NeverOverwritesAndLeavesNoTemporaryFile)
{
    QTemporaryDir temp;
    const SaveResult first = Write(temp.path(), "one");
    const SaveResult second = Write(temp.path(), "two");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(first->path, temp.path() + "/Minutes41.eml");
    EXPECT_EQ(second->path, temp.path() + "/Minutes41-2.eml");
    EXPECT_EQ(ReadAll(first->path), "one");
    EXPECT_EQ(ReadAll(second->path), "two");
    EXPECT_EQ(QDir(temp.path()).entryList(QDir::Files | QDir::Hidden).size(), 2);
}

TEST_P(NewFileWriterTest, AFailingContentWriterLeavesNothingAndGivesItsReason)
{
    QTemporaryDir temp;
    const SaveResult result = Write(temp.path(), [](int fd) {
        const bool wrote = ::write(fd, "half", 4) == 4;
        return WriteStep(NotSaved(WriteFailure::FileSystem,
                                  wrote ? QStringLiteral("composer gave up") : QStringLiteral("write failed")));
    });
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().kind, WriteFailure::Content);
    EXPECT_EQ(result.error().reason, "composer gave up");
    EXPECT_TRUE(QDir(temp.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).isEmpty());
}

TEST_P(NewFileWriterTest, TheModeFollowsTheUmask)
{
    QTemporaryDir temp;
    for (const auto& [mask, expected] : {std::pair{077u, 0600u}, std::pair{022u, 0644u}, std::pair{002u, 0664u}}) {
        const mode_t previous = ::umask(mask);
        const SaveResult result = Write(temp.path(), "x");
        ::umask(previous);
        ASSERT_TRUE(result) << result.error().reason.toStdString();
        struct stat info {};
        ASSERT_EQ(::stat(QFile::encodeName(result->path).constData(), &info), 0);
        EXPECT_EQ(info.st_mode & 07777, expected) << std::oct << mask;
    }
}

INSTANTIATE_TEST_SUITE_P(Temporaries, NewFileWriterTest,
                         ::testing::Values(TemporaryKind::UnnamedWhereSupported, TemporaryKind::Named),
                         [](const auto& info) {
                             return std::string(info.param == TemporaryKind::Named ? "Named" : "Unnamed");
                         });

TEST(NewFileWriterPathTest, AMissingOrLinkedDirectoryIsRefused)
{
    QTemporaryDir temp;
    auto name = [](int attempt) { return FileNameFor("Minutes", "41", ".eml", attempt); };
    const SaveResult missing = WriteNewFile(temp.filePath("absent"), name, QByteArray("x"));
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().kind, WriteFailure::NoDirectory);
    EXPECT_FALSE(missing.error().reason.isEmpty());
    QDir().mkpath(temp.filePath("real"));
    ASSERT_EQ(symlink("real", QFile::encodeName(temp.filePath("link")).constData()), 0);
    EXPECT_FALSE(WriteNewFile(temp.filePath("link"), name, QByteArray("x")));
    EXPECT_TRUE(QDir(temp.filePath("real")).isEmpty());
}

TEST(DestinationTest, EmptyMissingAndFilePathsAreRefused)
{
    QTemporaryDir temp;
    QFile(temp.filePath("plain")).open(QIODevice::WriteOnly);
    EXPECT_EQ(CheckDestination(QString()), DestinationCheck::Empty);
    EXPECT_EQ(CheckDestination(temp.filePath("nothing")), DestinationCheck::Missing);
    EXPECT_EQ(CheckDestination(temp.filePath("plain")), DestinationCheck::Missing);
    EXPECT_EQ(CheckDestination(temp.path()), DestinationCheck::Accepted);
    EXPECT_STREQ(kDestinationNoticeText, "Saving path doesn't exist, please select another path for saving.");
    EXPECT_STREQ(kDestinationNoticeCaption, "Quenby");
}

TEST(OutputTreeTest, OneDirectoryPerNodeInAFolderOfItsOwn)
{
    QTemporaryDir temp;
    RecordList<FolderNode> nodes;
    auto add = [&](const char* name, const char* exportPath) {
        FolderNode node;
        node.name = QString::fromUtf8(name);
        node.exportPath = QString::fromUtf8(exportPath);
        nodes.push_back(std::make_shared<const FolderNode>(node));
    };
    add("Top of Personal Folders", "");
    add("Inbox", "\\Top-of-Personal-Folders");
    add("Deleted Items", "\\Top-of-Personal-Folders");
    add("..", "\\Top-of-Personal-Folders");
    // Whatever already has the minute's name (a folder, a file, a link) is left
    // alone: the next run takes the next free "-N".
    QDir().mkpath(temp.path() + "/Vorsk-Recovery-1-1-2000 0-0-3");
    std::vector<QString> roots;
    for (int run = 0; run < 3; ++run) {
        const auto created = OutputTree::Create(temp.path() + "/", "Vorsk-Recovery-1-1-2000 0-0");
        ASSERT_TRUE(created) << created.error().reason.toStdString();
        const auto& tree = *created;
        EXPECT_EQ(tree->PrepareFolders(nodes), 4);
        roots.push_back(tree->rootPath());
    }
    EXPECT_EQ(roots, (std::vector<QString>{temp.path() + "/Vorsk-Recovery-1-1-2000 0-0",
                                           temp.path() + "/Vorsk-Recovery-1-1-2000 0-0-2",
                                           temp.path() + "/Vorsk-Recovery-1-1-2000 0-0-4"}));
    EXPECT_TRUE(QFileInfo(roots[0] + "/Top-of-Personal-Folders/Inbox").isDir());
    EXPECT_TRUE(QFileInfo(roots[1] + "/Top-of-Personal-Folders/Deleted-Items").isDir());
    EXPECT_TRUE(QFileInfo(roots[2] + "/Top-of-Personal-Folders/--").isDir());
    EXPECT_TRUE(QDir(temp.path() + "/Vorsk-Recovery-1-1-2000 0-0-3").isEmpty());
}

TEST(OutputTreeTest, AnExistingDirectoryIsNeverTakenOver)
{
    QTemporaryDir temp;
    const QString outside = temp.filePath("outside");
    QDir().mkpath(outside);
    const auto created = OutputTree::Create(temp.path(), "Vorsk-Recovery-1-1-2000 0-0");
    ASSERT_TRUE(created) << created.error().reason.toStdString();
    const auto& tree = *created;
    ASSERT_TRUE(QDir().mkpath(tree->rootPath() + "/Planted"));
    ASSERT_EQ(symlink(QFile::encodeName(outside).constData(), QFile::encodeName(tree->rootPath() + "/Link").constData()),
              0);
    auto name = [](int attempt) { return FileNameFor("m", "41", ".eml", attempt); };
    // Their folders go beside them, under names of their own.
    const std::pair<const char*, const char*> kPlaces[] = {
        {"\\Planted", "/Planted-2/m41.eml"},
        {"\\Planted\\Deeper", "/Planted-2/Deeper/m41.eml"},
        {"\\Link", "/Link-2/m41.eml"},
        {"\\Link\\Deeper", "/Link-2/Deeper/m41.eml"},
    };
    for (const auto& [key, path] : kPlaces) {
        const SaveResult result = tree->CreateFile(QString::fromLatin1(key), name, QByteArray("x"));
        ASSERT_TRUE(result) << key << ": " << qPrintable(result.error().reason);
        EXPECT_EQ(result->path, tree->rootPath() + QString::fromLatin1(path)) << key;
    }
    const SaveResult made = tree->CreateFile("\\Made\\Here", name, QByteArray("x"));
    ASSERT_TRUE(made) << made.error().reason.toStdString();
    EXPECT_EQ(made->path, tree->rootPath() + "/Made/Here/m41.eml");
    EXPECT_TRUE(QDir(outside).isEmpty());
    EXPECT_TRUE(QDir(tree->rootPath() + "/Planted").isEmpty());
}

TEST(OutputTreeTest, AReadOnlyDestinationIsRefusedAsNotWritable)
{
    if (::geteuid() == 0)
        GTEST_SKIP() << "root writes into a mode 0555 folder; the robustness tests cover a read-only mount";
    QTemporaryDir temp;
    ASSERT_EQ(::chmod(QFile::encodeName(temp.path()).constData(), 0555), 0);
    const auto created = OutputTree::Create(temp.path(), "Vorsk-Recovery-1-1-2000 0-0");
    ASSERT_FALSE(created);
    EXPECT_EQ(created.error().kind, OutputTreeError::NotWritable);
    EXPECT_FALSE(created.error().reason.isEmpty());
    ::chmod(QFile::encodeName(temp.path()).constData(), 0755);
}

TEST(CompletionNoticeTest, OnlyACompleteConversionClaimsSuccess)
{
    ConversionSummary summary;
    summary.mailTotal = summary.counts.Cell(OutcomeKind::Mail, ItemResult::Complete) = 3;
    EXPECT_EQ(CompletionNoticeText(summary), "Saving sucessfully completed.");
    summary.counts.Cell(OutcomeKind::Mail, ItemResult::Complete) = 2;
    summary.counts.Cell(OutcomeKind::Mail, ItemResult::Failed) = 1;
    summary.firstFailures << "Minutes41.eml: No space left on device";
    const QString text = CompletionNoticeText(summary);
    EXPECT_NE(text, "Saving sucessfully completed.");
    EXPECT_TRUE(text.contains("2 of 3")) << text.toStdString();
    EXPECT_TRUE(text.contains("No space left on device"));

    // Every file written but the manifest: no success, and the reason named.
    ConversionSummary noManifest;
    noManifest.mailTotal = noManifest.counts.Cell(OutcomeKind::Mail, ItemResult::Complete) = 3;
    noManifest.Add(RunProblem::Kind::ManifestIncomplete, "No space left on device");
    EXPECT_FALSE(noManifest.allSaved());
    const QString manifestText = CompletionNoticeText(noManifest);
    EXPECT_FALSE(manifestText.contains("sucessfully")) << manifestText.toStdString();
    EXPECT_TRUE(manifestText.contains("3 of 3")) << manifestText.toStdString();
    EXPECT_TRUE(manifestText.contains("manifest could not be written in full (No space left on device)"))
        << manifestText.toStdString();
}

QByteArray ToQ(const pstwriter::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

TEST(RtfBodyTest, CompressedAndUncompressedFormsGiveTheSameRtf)
{
    const std::string rtf = "{\\rtf1\\ansi\\ansicpg1252\\fromtext \\deff0{\\fonttbl{\\f0 Arial;}}Hello\\par world}";
    const auto compressed = DecompressRtf(ToQ(pstwriter::CompressRtf(rtf)));
    const auto plain = DecompressRtf(ToQ(pstwriter::WrapUncompressedRtf(rtf)));
    ASSERT_TRUE(compressed && plain);
    EXPECT_EQ(compressed->toStdString(), rtf);
    EXPECT_EQ(plain->toStdString(), rtf);
    EXPECT_FALSE(DecompressRtf("short").has_value());
    EXPECT_FALSE(DecompressRtf(QByteArray(16, 'x')).has_value());
}

TEST(RtfBodyTest, ReferencesToTheInitialDictionaryAreResolved)
{
    // Control byte 0x01: first token is a reference to offset 0, length 2+4 ("{\rtf1"),
    // then the end marker (a reference to the write position 207 + 6).
    QByteArray stored(16, '\0');
    const unsigned char body[] = {0x03, 0x00, 0x04, 0x0D, 0x50};
    stored.append(reinterpret_cast<const char*>(body), sizeof body);
    const quint32 compressedSize = quint32(stored.size() - 4);
    const quint32 rawSize = 6;
    std::memcpy(stored.data(), &compressedSize, 4);
    std::memcpy(stored.data() + 4, &rawSize, 4);
    std::memcpy(stored.data() + 8, "LZFu", 4);
    const auto rtf = DecompressRtf(stored);
    ASSERT_TRUE(rtf.has_value());
    EXPECT_EQ(rtf->toStdString(), "{\\rtf1");
}

TEST(RtfBodyTest, EncapsulatedHtmlAndTextComeBack)
{
    const QByteArray html =
        "{\\rtf1\\ansi\\ansicpg1252\\fromhtml1 \\deff0{\\fonttbl{\\f0\\fswiss Arial;}}"
        "{\\*\\htmltag19 <html>}{\\*\\htmltag34 <body>}\\htmlrtf {\\htmlrtf0 "
        "Gr\\'fc\\'dfe \\u8364?\\par}\\htmlrtf0 {\\*\\htmltag84 <img src=\"cid:a@b\">}"
        "\\htmlrtf \\par RTF only\\htmlrtf0 {\\*\\htmltag35 </body>}{\\*\\htmltag27 </html>}}";
    const RtfContent content = ExtractFromRtf(html);
    EXPECT_EQ(content.kind, RtfContent::Kind::Html);
    EXPECT_EQ(content.text, QString::fromUtf8("<html><body>Grüße €\r\n<img src=\"cid:a@b\"></body></html>"));

    const RtfContent text = ExtractFromRtf("{\\rtf1\\ansi\\fromtext {\\fonttbl{\\f0 Arial;}}line\\par two\\tab x}");
    EXPECT_EQ(text.kind, RtfContent::Kind::Text);
    EXPECT_EQ(text.text, "line\r\ntwo\tx");

    const RtfContent proper =
        ExtractFromRtf("{\\rtf1\\ansi\\ansicpg1252 {\\fonttbl{\\f0 Arial;}}{\\*\\generator x;}{\\b bold} rtf\\par caf\\'e9}");
    EXPECT_EQ(proper.kind, RtfContent::Kind::Rtf);
    EXPECT_EQ(proper.text, QString::fromUtf8("bold rtf\r\ncafé"));
}

// The pipeline must hand every message back in record order whatever the
// number of workers and the window, whether the messages are all known at
// the start or found by a walk while the first ones are taken, and must stop
// cleanly when the writer gives up half way (an abandoned conversion), also
// with workers still waiting for messages a walk has not found.
TEST(MessagePreparerTest, HandsBackEveryMessageInOrderAndStopsWhenDropped)
{
    RecordList<MailRecord> records;
    for (size_t index = 0; index < 40; ++index) {
        MailRecord record;
        record.subject = QStringLiteral("Message number %1").arg(index);
        records.push_back(std::make_shared<const MailRecord>(std::move(record)));
    }
    struct Case {
        int workers;
        size_t window;
        size_t taken;   // how many the writer takes before dropping the preparer
        size_t known;   // how many the feed holds when the preparer starts; the rest come later
        bool closed;    // whether the feed ends after the last record
    };
    const Case cases[] = {
        {1, 1, 40, 40, true}, {3, 2, 40, 40, true}, {2, 8, 40, 40, true}, {4, 3, 5, 40, true}, {2, 4, 0, 40, true},
        {2, 4, 40, 0, true},  {3, 2, 40, 7, true},  {1, 1, 40, 1, true},
        // Dropped while the walk has found only some: workers wait for more and must still stop.
        {3, 8, 5, 5, false}, {2, 4, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.workers << " workers, window " << c.window << ", " << c.known
                                          << " known at the start");
        MailFeed feed;
        for (size_t index = 0; index < c.known; ++index)
            feed.Append(records[index]);
        MessagePreparer preparer(feed, std::vector<MailboxReader*>(c.workers, nullptr), c.window);
        // The rest as a walk would hand them on, while the writer takes the first.
        std::thread walk([&] {
            if (!c.closed)
                return;
            for (size_t index = c.known; index < records.size(); ++index)
                feed.Append(records[index]);
            feed.Close();
        });
        for (size_t index = 0; index < c.taken; ++index) {
            ASSERT_NE(feed.WaitFor(index), nullptr);
            const QByteArray bytes = preparer.Take(index).bytes;
            EXPECT_TRUE(bytes.contains("Subject: Message number " + QByteArray::number(qulonglong(index)) + "\r\n"))
                << bytes.left(400).constData();
            feed.Release(index);
        }
        walk.join();
        if (c.closed && c.taken == records.size())
            EXPECT_EQ(feed.WaitFor(records.size()), nullptr) << "a closed feed ends after its last record";
    }
}

// The byte versions skip the round trip through UTF-16 only where it cannot
// change the answer: the same result as decoding first, for every case.
TEST(BodyTextTest, Utf8ShortcutsAnswerAsTheDecodedText)
{
    const char* const htmlCases[] = {
        "<html><body><p>plain</p></body></html>",
        "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=iso-8859-1\"><p>x</p>",
        "<META CHARSET='Windows-1252'>",
        "<meta charset = \"koi8-r\">",
        "<meta char\xC5\xBF" "et=\"big5\">",  // a long s, which the pattern takes for "s"
        "charset=utf-8 outside a meta tag",
        "\xEF\xBB\xBF<p>with a byte-order mark</p>",
        "<p>Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC chars et</p>",
        "chars",
        "",
    };
    for (const char* html : htmlCases) {
        const QByteArray bytes(html);
        EXPECT_EQ(HtmlAsUtf8(bytes), HtmlAsUtf8(QString::fromUtf8(bytes))) << html;
    }
    EXPECT_TRUE(HtmlAsUtf8(QByteArray("<meta charset=\"big5\">")).contains("charset=\"utf-8\""));

    const char* const blankCases[] = {
        "", " ", "\t\r\n\v\f ", "x", "  x", "\xC2\xA0",  // no-break space
        "\xC2\xA0x", "\xE3\x80\x80", "\xC3\xA9", " \x1c",
    };
    for (const char* text : blankCases) {
        const QByteArray bytes(text);
        EXPECT_EQ(IsBlankUtf8(bytes), IsBlank(QString::fromUtf8(bytes))) << text;
    }
    EXPECT_TRUE(IsBlankUtf8(QByteArray("\0 \0", 3)));
    EXPECT_TRUE(IsBlankUtf8("\xE3\x80\x80 "));  // ideographic space
    EXPECT_FALSE(IsBlankUtf8("\xC3\xA9"));
}

TEST(VCardTest, EscapesFoldsAndCarriesEveryField)
{
    ContactRecord contact;
    contact.givenName = "Anna";
    contact.surname = QString::fromUtf8("Müller; Smith");
    contact.companyName = "ACME, Inc.";
    contact.businessPhone = "+1 555 0100";
    contact.mobilePhone = contact.mobilePhone2 = "+1 555 0101";
    contact.homeStreet = contact.homeAddress = "Main St 1";
    contact.homeCity = "Springfield";
    contact.notes = QString::fromUtf8("first line\r\nsecond line with ünïcödé ") + QString(80, u'x');
    contact.birthday = QStringLiteral("29.02.1980");
    ContactDetails details;
    details.emails = {"anna@example.com"};
    details.anniversary = QDate(2005, 6, 18);
    details.categories = {QStringLiteral("Familie"), QStringLiteral("Freunde, alte")};
    const QByteArray card = ComposeVCard(contact, details);
    const QString text = QString::fromUtf8(card);
    EXPECT_TRUE(text.startsWith("BEGIN:VCARD\r\nVERSION:4.0\r\n"));
    EXPECT_TRUE(text.endsWith("END:VCARD\r\n"));
    EXPECT_TRUE(text.contains(QString::fromUtf8("N:Müller\\; Smith;Anna;;;\r\n")));
    EXPECT_TRUE(text.contains("ORG:ACME\\, Inc.;\r\n"));
    EXPECT_TRUE(text.contains("EMAIL:anna@example.com\r\n"));
    EXPECT_EQ(text.count("+1 555 0101"), 1);
    EXPECT_TRUE(text.contains("ADR;TYPE=home:;;Main St 1;Springfield;;;\r\n"));
    // A day the mailbox holds is a date; without one the record's text stays.
    EXPECT_TRUE(text.contains("ANNIVERSARY:20050618\r\n"));
    EXPECT_TRUE(text.contains("BDAY;VALUE=text:29.02.1980\r\n"));
    EXPECT_TRUE(text.contains("CATEGORIES:Familie,Freunde\\, alte\r\n"));
    for (const QByteArray& line : card.split('\n'))
        EXPECT_LE(line.size(), 76) << line.toStdString();
    // Unfolded, the note is intact.
    QByteArray unfolded = card;
    unfolded.replace("\r\n ", "");
    EXPECT_TRUE(QString::fromUtf8(unfolded).contains("NOTE:first line\\nsecond line"));
    EXPECT_EQ(ContactNameText(contact), QString::fromUtf8("Anna Müller; Smith"));
    ContactRecord company;
    company.companyName = "ACME";
    EXPECT_EQ(ContactNameText(company), "ACME");
    EXPECT_EQ(ContactNameText(ContactRecord{}), "Contact");
}

QByteArray AsQByteArray(const pstwriter::Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

TEST(EntryIdAddressTest, OneOffIdentifiersGiveTheirAddressOthersNothing)
{
    const QByteArray unicode = AsQByteArray(pstwriter::OneOffEntryId("Zoë Help", "SMTP", "help@example.com"));
    const QByteArray eightBit = AsQByteArray(pstwriter::OneOffEntryId("J\xF6rg", "SMTP", "joerg@example.de", false));
    QByteArray otherProvider = unicode;
    otherProvider[4] = char(0x00);
    const struct {
        const char* name;
        QByteArray entryId;
        bool found;
        const char* displayName;
        const char* address;
    } cases[] = {
        {"Unicode strings", unicode, true, "Zoë Help", "help@example.com"},
        {"8-bit strings in the code page", eightBit, true, "Jörg", "joerg@example.de"},
        {"another provider's identifier", otherProvider, false, "", ""},
        {"the address cut off before its end", unicode.left(unicode.size() - 3), false, "", ""},
        {"shorter than the fixed part", unicode.left(23), false, "", ""},
        {"empty", QByteArray(), false, "", ""},
    };
    for (const auto& c : cases) {
        const auto parsed = ParseOneOffEntryId(c.entryId, 1252);
        ASSERT_EQ(parsed.has_value(), c.found) << c.name;
        if (!parsed)
            continue;
        EXPECT_EQ(parsed->displayName, QString::fromUtf8(c.displayName)) << c.name;
        EXPECT_EQ(parsed->addressType, "SMTP") << c.name;
        EXPECT_EQ(parsed->address, QString::fromUtf8(c.address)) << c.name;
    }
}

TEST(EntryIdAddressTest, FlatListsSplitAndStopAtAnEntryThatDoesNotFit)
{
    const pstwriter::Bytes first{1, 2, 3, 4, 5};
    const pstwriter::Bytes second{6, 7, 8, 9};
    const QByteArray list = AsQByteArray(pstwriter::FlatEntryList({first, second}));
    EXPECT_EQ(SplitFlatEntryList(list), (QVector<QByteArray>{AsQByteArray(first), AsQByteArray(second)}));
    // The count promises more entries than the data holds.
    QByteArray tooMany = list;
    tooMany[0] = char(9);
    EXPECT_EQ(SplitFlatEntryList(tooMany).size(), 2);
    // The second entry's size runs past the end.
    QByteArray tooLong = list;
    tooLong[8 + 4 + 8] = char(0x7F);
    EXPECT_EQ(SplitFlatEntryList(tooLong), QVector<QByteArray>{AsQByteArray(first)});
    EXPECT_TRUE(SplitFlatEntryList(list.left(7)).isEmpty());
}

}  // namespace
}  // namespace tolvane
