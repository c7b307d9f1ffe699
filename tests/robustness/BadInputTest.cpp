// Bad input files: nothing crashes or hangs, the user is told the right thing,
// the scan keeps what it can read, the conversion writes every mail the scan
// found (or counts it as failed) and nothing lands outside the destination.
#include "tests/robustness/Fixtures.h"
#include "tests/robustness/PstLayout.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <algorithm>
#include <functional>
#include <random>

#include <cstring>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

QString BaseMailbox(ScratchArea& area)
{
    const QString path = area.input(QStringLiteral("base.pst"));
    if (!QFileInfo::exists(path))
        WriteBaseMailbox(path);
    return path;
}

void Scramble(QByteArray& bytes, uint64_t offset, uint64_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    for (uint64_t i = offset; i < offset + size && i < static_cast<uint64_t>(bytes.size()); ++i)
        bytes[static_cast<qsizetype>(i)] = static_cast<char>(random() & 0xFF);
}

// Makes the damaged copy of the base mailbox.
QString Damaged(ScratchArea& area, const char* name, const std::function<void(QByteArray&)>& damage)
{
    QByteArray bytes = ReadAll(BaseMailbox(area));
    damage(bytes);
    const QString path = area.input(QString::fromLatin1(name) + QStringLiteral(".pst"));
    WriteAll(path, bytes);
    return path;
}

QString Truncated(ScratchArea& area, const char* name, int percent)
{
    return Damaged(area, name, [percent](QByteArray& bytes) { bytes.truncate(bytes.size() * percent / 100); });
}

std::vector<BlockSpan> DataBlocks(const QByteArray& bytes)
{
    std::vector<BlockSpan> blocks;
    for (const BlockSpan& block : CollectBlocks(bytes))
        if (!block.internal())
            blocks.push_back(block);
    return blocks;
}

struct InputFault {
    const char* name;
    std::function<QString(ScratchArea&)> make;  // the input's path
    int minimumMail;  // mail records a completed scan must still find
    const char* openFailureReason = nullptr;  // part of the system's reason when the file is refused before libpff
};

// A Unix socket bound at `path`; the descriptor is left open for the test's lifetime.
QString BoundSocket(const QString& path)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray native = QFile::encodeName(path);
    if (native.size() < static_cast<qsizetype>(sizeof address.sun_path)) {
        std::memcpy(address.sun_path, native.constData(), static_cast<size_t>(native.size()));
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd >= 0)
            (void)::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
    }
    return path;
}

const InputFault kInputFaults[] = {
    {"EmptyFile", [](ScratchArea& a) { WriteAll(a.input("empty.pst"), {}); return a.input("empty.pst"); }, 0},
    {"OneByte", [](ScratchArea& a) { WriteAll(a.input("one.pst"), "!"); return a.input("one.pst"); }, 0},
    {"Directory", [](ScratchArea& a) { QDir().mkpath(a.input("folder.pst")); return a.input("folder.pst"); }, 0,
     "is a directory"},
    {"MissingFile", [](ScratchArea& a) { return a.input("missing.pst"); }, 0, "No such file or directory"},
    // Inputs that would block libpff or feed it without end never reach it.
    {"Fifo", [](ScratchArea& a) { ::mkfifo(QFile::encodeName(a.input("pipe.pst")).constData(), 0600); return a.input("pipe.pst"); },
     0, "is a FIFO"},
    {"EndlessDevice",
     [](ScratchArea& a) { QFile::link(QStringLiteral("/dev/zero"), a.input("zero.pst")); return a.input("zero.pst"); }, 0,
     "is a character device"},
    {"Socket", [](ScratchArea& a) { return BoundSocket(a.input("socket.pst")); }, 0, "is a socket"},
    {"TextFileNamedPst",
     [](ScratchArea& a) {
         WriteAll(a.input("text.pst"), QByteArray("Dear reader,\nthis is not a mailbox.\n").repeated(50));
         return a.input("text.pst");
     },
     0},
    {"OstHeader", [](ScratchArea& a) { return Damaged(a, "ost", [](QByteArray& b) { b[8] = 'S'; b[9] = 'O'; }); }, 0},
    {"AddressBookHeader",
     [](ScratchArea& a) { return Damaged(a, "pab", [](QByteArray& b) { b[8] = 'A'; b[9] = 'B'; }); }, 0},
    {"HeaderOnly", [](ScratchArea& a) { return Damaged(a, "header", [](QByteArray& b) { b.truncate(564); }); }, 0},
    {"Truncated10", [](ScratchArea& a) { return Truncated(a, "cut10", 10); }, 0},
    {"Truncated50", [](ScratchArea& a) { return Truncated(a, "cut50", 50); }, 0},
    {"Truncated99", [](ScratchArea& a) { return Truncated(a, "cut99", 99); }, 0},
    {"RandomBytesOverNodeTreeRoot",
     [](ScratchArea& a) {
         return Damaged(a, "nbt", [](QByteArray& b) { Scramble(b, NodeTreeRoot(b), kPageSize, 1); });
     },
     0},
    {"RandomBytesOverBlockTreeRoot",
     [](ScratchArea& a) {
         return Damaged(a, "bbt", [](QByteArray& b) { Scramble(b, BlockTreeRoot(b), kPageSize, 2); });
     },
     0},
    {"RandomBytesOverEveryTreePage",
     [](ScratchArea& a) {
         return Damaged(a, "pages", [](QByteArray& b) {
             std::vector<uint64_t> pages;
             CollectPages(b, NodeTreeRoot(b), 8, &pages);
             CollectPages(b, BlockTreeRoot(b), 8, &pages);
             uint32_t seed = 3;
             for (uint64_t page : pages)
                 Scramble(b, page, kPageSize - 16, seed++);  // trailers intact: the pages look valid
         });
     },
     0},
    // The largest data block holds one message's attachment or body: at
    // most that message is lost.
    {"RandomBytesOverDataBlock",
     [](ScratchArea& a) {
         return Damaged(a, "data", [](QByteArray& b) {
             BlockSpan largest;
             for (const BlockSpan& block : DataBlocks(b))
                 if (block.size > largest.size)
                     largest = block;
             Scramble(b, largest.offset, largest.size, 4);
         });
     },
     kBaseMailCount - 1},
    // A property heap in the middle of the file: one message's, or a folder's
    // or a table's; the rest of the mailbox stays readable.
    {"RandomBytesOverHeap",
     [](ScratchArea& a) {
         return Damaged(a, "heap", [](QByteArray& b) {
             std::vector<BlockSpan> heaps;
             for (const BlockSpan& block : DataBlocks(b))
                 if (block.size > 12 && static_cast<uint8_t>(b[static_cast<qsizetype>(block.offset + 2)]) == 0xEC &&
                     static_cast<uint8_t>(b[static_cast<qsizetype>(block.offset + 3)]) == 0xBC)
                     heaps.push_back(block);
             std::sort(heaps.begin(), heaps.end(), [](auto& x, auto& y) { return x.offset < y.offset; });
             if (!heaps.empty()) {
                 const BlockSpan heap = heaps[heaps.size() / 2];
                 Scramble(b, heap.offset + 12, heap.size - 12, 5);
             }
         });
     },
     0},
};

class BadInputTest : public ::testing::TestWithParam<InputFault> {};

TEST_P(BadInputTest, EndsWithTheRightNoticeAndWritesOnlyIntoTheDestination)
{
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QString input = GetParam().make(area);
    const TreeSnapshot before = area.Outside();

    const ScanRun scan = ScanFile(input);
    EXPECT_EQ(scan.notices, ExpectedScanNotices(scan.outcome));
    if (GetParam().openFailureReason != nullptr) {
        EXPECT_EQ(scan.outcome, ScanOutcome::OpenFailed);
        EXPECT_TRUE(scan.openFailureReason.contains(QLatin1String(GetParam().openFailureReason)))
            << scan.openFailureReason.toStdString();
    }
    if (scan.outcome == ScanOutcome::Completed) {
        EXPECT_GE(static_cast<int>(scan.store->mailCount()), GetParam().minimumMail);
        // Every message of the mailbox is either found or named as skipped.
        EXPECT_EQ(static_cast<int>(scan.store->mailCount() + scan.skipped.size()), kBaseMailCount)
            << scan.skipped.join(u'\n').toStdString();
        const ConvertRun conversion = ConvertScan(scan, input, area.destination());
        ExpectHonestConversion(scan, conversion, area.outputRoot());
    }
    EXPECT_EQ(area.Outside(), before);
}

// The same inputs scanned with recovery, which reads the whole file's free
// space and whatever libpff makes of it: the live items are as above, the
// recovered ones are counted, and the conversion stays as honest.
TEST_P(BadInputTest, WithRecoveryTheLiveItemsStayAndTheConversionStaysHonest)
{
    ScratchArea area;
    ASSERT_TRUE(area.isValid());
    const QString input = GetParam().make(area);
    const TreeSnapshot before = area.Outside();

    const ScanRun scan = ScanFile(input, nullptr, /*recover=*/true);
    const QStringList expected = ExpectedScanNotices(scan.outcome);
    ASSERT_EQ(scan.notices.size(), expected.size());
    for (qsizetype i = 0; i < expected.size(); ++i)
        EXPECT_TRUE(scan.notices[i].startsWith(expected[i])) << scan.notices[i].toStdString();
    if (scan.outcome == ScanOutcome::Completed) {
        ASSERT_TRUE(scan.store->recoveryReport().has_value());
        EXPECT_TRUE(scan.notices.front().contains(QStringLiteral("\nRecovered: ")));
        int live = 0;
        for (const auto& record : scan.store->mailRecords())
            live += record->location.isRecovered() ? 0 : 1;
        EXPECT_EQ(static_cast<int>(live + scan.skipped.size()), kBaseMailCount) << scan.skipped.join(u'\n').toStdString();
        const ConvertRun conversion = ConvertScan(scan, input, area.destination());
        ExpectHonestConversion(scan, conversion, area.outputRoot());
    }
    EXPECT_EQ(area.Outside(), before);
}

INSTANTIATE_TEST_SUITE_P(Inputs, BadInputTest, ::testing::ValuesIn(kInputFaults),
                         [](const auto& info) { return std::string(info.param.name); });

// The fixture itself: every message of the undamaged mailbox is scanned and
// written, so the lower bounds above mean something.
TEST(BadInputBaseline, TheUndamagedMailboxComesOutWhole)
{
    ScratchArea area;
    const QString input = BaseMailbox(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    EXPECT_EQ(static_cast<int>(scan.store->mailCount()), kBaseMailCount);
    const ConvertRun conversion = ConvertScan(scan, input, area.destination());
    ExpectHonestConversion(scan, conversion, area.outputRoot());
    EXPECT_EQ(conversion.summary.counts.Complete(OutcomeKind::Mail), kBaseMailCount);
    EXPECT_FALSE(DataBlocks(ReadAll(input)).empty());
}

// The command line names what the scan had to leave out and does not claim
// a complete conversion.
TEST(BadInputCommandLine, SkippedItemsAreCountedNamedAndFailTheExitStatus)
{
    const QString cli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");
    if (!QFileInfo(cli).isExecutable())
        GTEST_SKIP() << "tolvane-cli is not built";
    ScratchArea area;
    const auto heapFault = std::find_if(std::begin(kInputFaults), std::end(kInputFaults),
                                        [](const InputFault& f) { return std::string(f.name) == "RandomBytesOverHeap"; });
    ASSERT_NE(heapFault, std::end(kInputFaults));
    const QString input = heapFault->make(area);
    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    ASSERT_FALSE(scan.skipped.isEmpty()) << "the damaged heap no longer hides an item";

    QProcess process;
    process.start(cli, {QStringLiteral("convert"), input, area.destination()});
    ASSERT_TRUE(process.waitForFinished(-1));
    const QString out = QString::fromUtf8(process.readAllStandardOutput());
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_EQ(process.exitCode(), scan.skipped.isEmpty() ? 0 : 4) << err.toStdString();
    EXPECT_TRUE(out.contains(QStringLiteral("%1 %2 skipped (unreadable)\n")
                                 .arg(scan.skipped.size())
                                 .arg(scan.skipped.size() == 1 ? "item" : "items")))
        << out.toStdString();
    for (const QString& item : scan.skipped)
        EXPECT_TRUE(err.contains(item)) << err.toStdString();
    // The manifest lists every one of them as not written.
    const QStringList made = QDir(area.destination()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    ASSERT_EQ(made.size(), 1);
    QFile manifest(area.destination() + u'/' + made.first() + QStringLiteral("/manifest.jsonl"));
    ASSERT_TRUE(manifest.open(QIODevice::ReadOnly));
    QStringList unreadable;
    for (const QByteArray& line : manifest.readAll().split('\n')) {
        const QJsonObject entry = QJsonDocument::fromJson(line).object();
        if (entry.value(QStringLiteral("kind")).toString() == QStringLiteral("unreadable item")) {
            EXPECT_FALSE(entry.value(QStringLiteral("notWritten")).toString().isEmpty());
            unreadable << entry.value(QStringLiteral("subject")).toString();
        }
    }
    EXPECT_EQ(unreadable.size(), scan.skipped.size());
    for (const QString& item : scan.skipped) {
        EXPECT_TRUE(std::any_of(unreadable.begin(), unreadable.end(),
                                [&](const QString& listed) { return listed.startsWith(item); }))
            << item.toStdString();
    }
}

// A file the user may not read: the command line as an ordinary user gets
// "cannot open" with the system's reason, not a claim that the file is
// corrupted. Root reads everything, so the command then runs as nobody.
TEST(BadInputPermissions, UnreadableFileCannotBeOpened)
{
    ScratchArea area;
    const QString input = BaseMailbox(area);
    ASSERT_EQ(::chmod(QFile::encodeName(input).constData(), 0), 0);
    ::chmod(QFile::encodeName(area.root()).constData(), 0755);
    ::chmod(QFile::encodeName(area.root() + "/input").constData(), 0755);
    const QString cli = QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli");
    if (!QFileInfo(cli).isExecutable())
        GTEST_SKIP() << "tolvane-cli is not built";

    QProcess process;
    if (::geteuid() == 0) {
        process.setChildProcessModifier([] {
            if (::setgid(65534) != 0 || ::setuid(65534) != 0)
                ::_exit(99);
        });
    }
    process.setWorkingDirectory(area.root());
    process.start(cli, {QStringLiteral("scan"), input});
    ASSERT_TRUE(process.waitForFinished(-1));
    if (process.exitCode() == 99 || process.exitStatus() != QProcess::NormalExit) {
        const QByteArray err = process.readAllStandardError();
        if (process.exitCode() == 99 || err.contains("Permission denied"))
            GTEST_SKIP() << "cannot run the command line as another user: " << err.constData();
    }
    EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(process.exitCode(), 1);
    const QString err = QString::fromUtf8(process.readAllStandardError());
    EXPECT_TRUE(err.contains(QStringLiteral("Permission denied"))) << err.toStdString();
    EXPECT_FALSE(err.contains(kOpenFailedNotice)) << err.toStdString();
}

// Where the row identifier's column (a 32-bit integer, 4 bytes at offset 0)
// is described in the table of the data block at `block`, when that table
// lists items (it has a delivery time column) and holds `rows` rows in its
// heap; -1 otherwise.
qsizetype RowIdentifierColumnOfItemList(const QByteArray& bytes, uint64_t block, int rows)
{
    constexpr uint32_t kRowIdentifier = 0x67F20003;
    constexpr uint32_t kDeliveryTime = 0x0E060040;
    const auto byteAt = [&](uint64_t offset) {
        return offset < static_cast<uint64_t>(bytes.size()) ? static_cast<uint8_t>(bytes[qsizetype(offset)]) : 0;
    };
    if (byteAt(block + 2) != 0xEC || byteAt(block + 3) != 0x7C)
        return -1;
    const uint64_t pageMap = block + ReadU16(bytes, block);
    const uint16_t allocations = ReadU16(bytes, pageMap);
    // A heap allocation of this block: its start and size.
    const auto allocation = [&](uint32_t hid, uint64_t* start, uint64_t* size) {
        const uint32_t index = (hid >> 5) & 0x7FF;
        if ((hid & 0x1F) != 0 || (hid >> 16) != 0 || index == 0 || index > allocations)
            return false;
        const uint16_t from = ReadU16(bytes, pageMap + 4 + 2 * (index - 1));
        *start = block + from;
        *size = ReadU16(bytes, pageMap + 4 + 2 * index) - from;
        return true;
    };
    uint64_t info = 0, infoSize = 0, matrix = 0, matrixSize = 0;
    if (!allocation(ReadU32(bytes, block + 4), &info, &infoSize) || infoSize < 22 || byteAt(info) != 0x7C)
        return -1;
    const int columns = byteAt(info + 1);
    const uint16_t rowSize = ReadU16(bytes, info + 8);
    if (rowSize == 0 || !allocation(ReadU32(bytes, info + 14), &matrix, &matrixSize)
        || matrixSize != uint64_t(rows) * rowSize)
        return -1;
    qsizetype identifier = -1;
    bool listsItems = false;
    for (int column = 0; column < columns; ++column) {
        const uint64_t at = info + 22 + 8 * uint64_t(column);
        const uint32_t tag = ReadU32(bytes, at);
        if (tag == kRowIdentifier && ReadU16(bytes, at + 4) == 0 && byteAt(at + 6) == 4)
            identifier = qsizetype(at);
        listsItems = listsItems || tag == kDeliveryTime;
    }
    return listsItems ? identifier : -1;
}

// A folder's list of items that names every item with a value of the wrong
// type: the list is still counted, each of its items is named as unreadable
// on its own, and the rest of the mailbox is read as usual.
TEST(BadInputItemList, ItemsWhoseIdentifierCannotBeReadCostOnlyThemselves)
{
    ScratchArea area;
    pstwriter::PstBuilderOptions options;
    options.encoding = pstwriter::BlockEncoding::None;  // the table is found as it is written
    pstwriter::PstBuilder pst(options);
    auto& damaged = pst.topOfPersonalFolders().addFolder("Damaged");
    for (int i = 0; i < 3; ++i)
        damaged.addMessage().subject("lost " + std::to_string(i)).body("gone");
    damaged.addFolder("Below").addMessage().subject("below").body("kept");
    pst.topOfPersonalFolders().addFolder("Intact").addMessage().subject("beside").body("kept");
    const QString input = area.input(QStringLiteral("item-list.pst"));
    pst.Write(input.toStdString());

    // The identifier column of the one list of three items says it holds
    // 16-bit integers: no row names its item as a 32-bit identifier any more.
    QByteArray bytes = ReadAll(input);
    int lists = 0;
    for (const BlockSpan& block : CollectBlocks(bytes)) {
        if (block.internal())
            continue;
        const qsizetype column = RowIdentifierColumnOfItemList(bytes, block.offset, 3);
        if (column >= 0) {
            bytes[column] = 0x02;  // the column's type: 32-bit (3) becomes 16-bit integer (2)
            ++lists;
        }
    }
    ASSERT_EQ(lists, 1) << "the list of the folder's three items is not where it was looked for";
    WriteAll(input, bytes);

    const ScanRun scan = ScanFile(input);
    ASSERT_EQ(scan.outcome, ScanOutcome::Completed);
    QStringList kept;
    for (const auto& record : scan.store->mailRecords())
        kept << record->subject;
    kept.sort();
    EXPECT_EQ(kept, QStringList({QStringLiteral("below"), QStringLiteral("beside")}));
    ASSERT_EQ(scan.skipped.size(), 3) << scan.skipped.join(u'\n').toStdString();
    for (int item = 1; item <= 3; ++item)
        EXPECT_TRUE(scan.skipped.at(item - 1).endsWith(
            QStringLiteral("Damaged, item %1: the item cannot be read").arg(item)))
            << scan.skipped.at(item - 1).toStdString();
}

}  // namespace
}  // namespace tolvane::robustness
