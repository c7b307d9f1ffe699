// Items whose content the output must not take at face value, converted by
// tolvane-cli: a calendar attachment named like its calendar, a recurrence
// no series can have, bare CRs in a text body, a list member nobody can
// reach, and a mail with an unreadable attachment in the formats that have
// no file per mail (their problem lines must name the mail, not a file that
// was never written).
#include "tests/robustness/Fixtures.h"
#include "tests/robustness/PstLayout.h"

#include "pstwriter/AppointmentBlobs.h"
#include "pstwriter/BlockDamage.h"
#include "tests/support/CliRun.h"

#include <QRegularExpression>
#include <QUrl>

#include <functional>

#include <unistd.h>

namespace tolvane::robustness {
namespace {

using namespace tolvane::pstwriter;
using testing::CliRun;
using testing::RunCli;

// One run of tolvane-cli convert and the output folder it made.
struct Converted {
    CliRun run;
    QString output;
};

Converted ConvertMailbox(const QTemporaryDir& scratch, const PstBuilder& pst, const char* format)
{
    const QString input = scratch.filePath(QStringLiteral("content.pst"));
    if (!QFileInfo::exists(input))
        pst.Write(input.toStdString());
    const QString destination = scratch.filePath(QString::fromLatin1(format));
    QDir().mkpath(destination);
    Converted converted;
    converted.run = RunCli({"convert", "--format", QString::fromLatin1(format), input, destination});
    const QStringList made = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (made.size() == 1)
        converted.output = destination + u'/' + made.first();
    return converted;
}

// The lines of stderr that name an item not saved or saved incomplete.
QStringList ProblemLines(const CliRun& run)
{
    QStringList lines;
    for (const QString& line : run.err.split(u'\n')) {
        if (line.startsWith(QLatin1String("not saved: ")) || line.startsWith(QLatin1String("saved incomplete: ")))
            lines << line;
    }
    return lines;
}

// Zeroes the block of the written mailbox `input` (whose bytes are `file`)
// that holds the byte at `at`; false when no block holds it.
bool ZeroBlockHolding(const QString& input, const QByteArray& file, qsizetype at)
{
    bool damaged = false;
    for (const BlockSpan& block : CollectBlocks(file)) {
        if (block.offset <= static_cast<uint64_t>(at) && static_cast<uint64_t>(at) < block.offset + block.size) {
            const uint64_t stored = (block.size + 16 + 63) / 64 * 64;  // data, trailer, padding to 64 bytes
            DamageBlock(input.toStdString(), BlockExtent{block.id, block.offset, stored}, BlockDamage::Zeroed);
            damaged = true;
        }
    }
    return damaged;
}

// An iCalendar text with its folded lines joined.
QString Unfolded(const QByteArray& text)
{
    QString joined = QString::fromUtf8(text);
    joined.replace(QLatin1String("\r\n "), QString()).replace(QLatin1String("\r\n\t"), QString());
    return joined;
}

bool ToolMissing()
{
    return ::access(TOLVANE_BIN_DIR "/tolvane-cli", X_OK) != 0;
}

Bytes Pattern(std::size_t size, uint32_t seed)
{
    Bytes data(size);
    uint32_t x = seed;
    for (auto& byte : data) {
        x = x * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(x >> 24);
    }
    return data;
}

QByteArray AsBytes(const Bytes& bytes)
{
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), static_cast<qsizetype>(bytes.size()));
}

pstwriter::FileTime March(int day, int hour)
{
    return pstwriter::FileTime::fromUnixSeconds(1772323200LL + (day - 1) * 86400LL + hour * 3600LL);
}

// The calendar file keeps the folder's name; an attachment too large to go
// inside it, named like it, is written beside it under another name, and
// the event points at that file.
TEST(ContentFaultTest, CalendarAttachmentNeverTakesTheCalendarsName)
{
    if (ToolMissing())
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    PstBuilder pst;
    const Bytes attachment = Pattern(300 * 1024, 7);
    pst.topOfPersonalFolders()
        .addFolder("Calendar")
        .containerClass("IPF.Appointment")
        .addAppointment("Review")
        .appointment(March(3, 9), March(3, 10))
        .attach("Calendar.ics", attachment, "text/calendar");
    const Converted converted = ConvertMailbox(scratch, pst, "eml");
    ASSERT_EQ(converted.run.exitCode, 0) << qPrintable(converted.run.out + converted.run.err);

    const QStringList ics = FilesEndingIn(converted.output, QStringLiteral(".ics"));
    ASSERT_EQ(ics.size(), 2) << qPrintable(ics.join(u' '));
    QString calendar;
    QString beside;
    for (const QString& path : ics)
        (QFileInfo(path).fileName() == QLatin1String("Calendar.ics") ? calendar : beside) = path;
    ASSERT_FALSE(calendar.isEmpty()) << "no file is named Calendar.ics";
    ASSERT_FALSE(beside.isEmpty());
    EXPECT_EQ(QFileInfo(calendar).path(), QFileInfo(beside).path());
    const QByteArray calendarText = ReadAll(calendar);
    EXPECT_TRUE(calendarText.startsWith("BEGIN:VCALENDAR")) << calendarText.left(200).constData();
    EXPECT_TRUE(ReadAll(beside) == AsBytes(attachment)) << "the attachment beside is not the stored bytes";
    const QString name = QFileInfo(beside).fileName();
    const QRegularExpression attach(QStringLiteral("^ATTACH[^:\\r\\n]*:(.*)\\r$"), QRegularExpression::MultilineOption);
    const QRegularExpressionMatch match = attach.match(Unfolded(calendarText));
    ASSERT_TRUE(match.hasMatch()) << calendarText.constData();
    EXPECT_EQ(QUrl::fromPercentEncoding(match.captured(1).toUtf8()).toStdString(), name.toStdString());
    const CliRun verify = RunCli({"verify", converted.output});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
}

// A recurrence with a field out of range is no series: the appointment is
// written once, with the reason and the stored pattern, and counted as saved
// incomplete.
TEST(ContentFaultTest, AppointmentWithAnImpossibleRecurrenceIsOneEventSavedIncomplete)
{
    if (ToolMissing())
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    SeriesPattern pattern;
    pattern.dayMask = 1u << 2;
    pattern.period = 0;  // every 0 weeks
    pattern.startDate = BlobMinutes(2026, 3, 3);
    pattern.startMinute = 9 * 60;
    pattern.endMinute = 10 * 60;
    const Bytes blob = RecurrenceBlob(pattern);
    PstBuilder pst;
    pst.topOfPersonalFolders()
        .addFolder("Calendar")
        .containerClass("IPF.Appointment")
        .addAppointment("Never again")
        .appointment(March(3, 9), March(3, 10))
        .recurrencePattern("every 0 weeks on Tuesday")
        .namedProperty(propsets::Appointment, 0x8216, PropertyValue::binary(blob));
    const Converted converted = ConvertMailbox(scratch, pst, "eml");
    EXPECT_EQ(converted.run.exitCode, 4) << qPrintable(converted.run.out + converted.run.err);
    EXPECT_TRUE(converted.run.out.contains(QLatin1String("1 appointment saved incomplete\n")))
        << qPrintable(converted.run.out);
    const QStringList problems = ProblemLines(converted.run);
    ASSERT_EQ(problems.size(), 1) << qPrintable(converted.run.err);
    EXPECT_TRUE(problems.first().startsWith(QLatin1String("saved incomplete: "))) << qPrintable(problems.first());
    EXPECT_TRUE(problems.first().contains(QLatin1String("recurrence"))) << qPrintable(problems.first());

    const QStringList ics = FilesEndingIn(converted.output, QStringLiteral(".ics"));
    ASSERT_EQ(ics.size(), 1);
    const QString text = Unfolded(ReadAll(ics.first()));
    EXPECT_EQ(text.count(QLatin1String("BEGIN:VEVENT")), 1) << qPrintable(text);
    EXPECT_FALSE(text.contains(QLatin1String("RRULE"))) << qPrintable(text);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^X-TOLVANE-INVALID-RECURRENCE:.*period"),
                                   QRegularExpression::MultilineOption)
                    .match(text)
                    .hasMatch())
        << qPrintable(text);
    EXPECT_TRUE(text.contains(QStringLiteral("X-TOLVANE-RECURRENCE-DATA:") + QString::fromLatin1(AsBytes(blob).toHex())
                              + QStringLiteral("\r\n")))
        << qPrintable(text);
    const CliRun verify = RunCli({"verify", converted.output});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
}

// A CR alone in a text body becomes a line end: in every format, a CR only
// ever comes as part of CRLF, and the text's lines stay apart.
struct BareCrCase {
    const char* name;
    const char* body;
    QStringList lines;  // the body's lines as a reader must see them
};

const BareCrCase kBareCrCases[] = {
    {"Between", "a\rb", {"a", "b"}},
    {"TwoInARowAndAtTheEnd", "first\r\rthird\r", {"first", "", "third"}},
    {"MixedWithCrlf", "one\r\ntwo\rthree", {"one", "two", "three"}},
};

void PrintTo(const BareCrCase& row, std::ostream* out)
{
    *out << row.name;
}

class BareCrTest : public ::testing::TestWithParam<BareCrCase> {};

TEST_P(BareCrTest, NoCrOutsideCrlfInAnyFormat)
{
    if (ToolMissing())
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    // One mail folder and nothing else: every format writes one file.
    PstBuilder pst(PstBuilderOptions{.deletedItems = false});
    pst.topOfPersonalFolders().addFolder("Inbox").addMessage().subject("bare").body(GetParam().body);
    for (const char* format : {"eml", "mbox", "maildir"}) {
        SCOPED_TRACE(format);
        const Converted converted = ConvertMailbox(scratch, pst, format);
        ASSERT_EQ(converted.run.exitCode, 0) << qPrintable(converted.run.out + converted.run.err);
        QStringList files;
        QDirIterator it(converted.output, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (!path.endsWith(QLatin1String("/manifest.jsonl")))
                files << path;
        }
        ASSERT_EQ(files.size(), 1) << qPrintable(files.join(u' '));
        const QByteArray bytes = ReadAll(files.first());
        for (qsizetype at = bytes.indexOf('\r'); at >= 0; at = bytes.indexOf('\r', at + 1))
            ASSERT_TRUE(at + 1 < bytes.size() && bytes.at(at + 1) == '\n')
                << "a CR alone at " << at << " of " << qPrintable(files.first());
        const QByteArray text = GetParam().lines.join(QStringLiteral("\r\n")).toUtf8();
        EXPECT_TRUE(bytes.contains("\r\n\r\n" + text) || bytes.contains("\r\n" + text + "\r\n")) << bytes.constData();
    }
}

INSTANTIATE_TEST_SUITE_P(Bodies, BareCrTest, ::testing::ValuesIn(kBareCrCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A member with neither an address nor a contact cannot be on a card: the
// list is written with the others and the one left out is named.
TEST(ContentFaultTest, ListMemberWithoutAddressOrContactIsNamed)
{
    if (ToolMissing())
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    PstBuilder pst;
    auto& contacts = pst.topOfPersonalFolders().addFolder("Contacts").containerClass("IPF.Contact");
    contacts.addMessage("IPM.DistList")
        .subject("Team")
        .members({{nullptr, "Cy", "cy@example.net"}, {nullptr, "Nobody Reachable", ""}});
    const Converted converted = ConvertMailbox(scratch, pst, "eml");
    EXPECT_EQ(converted.run.exitCode, 4) << qPrintable(converted.run.out + converted.run.err);
    const QStringList problems = ProblemLines(converted.run);
    ASSERT_EQ(problems.size(), 1) << qPrintable(converted.run.err);
    EXPECT_TRUE(problems.first().startsWith(QLatin1String("saved incomplete: Team"))) << qPrintable(problems.first());
    EXPECT_TRUE(problems.first().contains(QLatin1String("Nobody Reachable"))) << qPrintable(problems.first());
    EXPECT_FALSE(problems.first().contains(QLatin1String("Cy"))) << qPrintable(problems.first());

    const QStringList cards = FilesEndingIn(converted.output, QStringLiteral(".vcf"));
    ASSERT_EQ(cards.size(), 1);
    const QByteArray card = ReadAll(cards.first());
    EXPECT_TRUE(card.contains("cy@example.net")) << card.constData();
    EXPECT_FALSE(card.contains("Nobody")) << card.constData();
    const CliRun verify = RunCli({"verify", converted.output});
    EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
}

// A calendar item whose text has a block destroyed is still written, with
// what could be read, and counted and named as incomplete.
struct UnreadableTextCase {
    const char* name;
    const char* folderClass;
    const char* messageClass;
    const char* lacks;    // what the problem line says is missing
    const char* counted;  // the summary line that counts it; empty: none has its kind
};

const UnreadableTextCase kUnreadableTextCases[] = {
    {"Appointment", "IPF.Appointment", "IPM.Appointment", "the description", "1 appointment saved incomplete\n"},
    {"Task", "IPF.Task", "IPM.Task", "the description", ""},
    {"Note", "IPF.StickyNote", "IPM.StickyNote", "the text", ""},
    {"JournalEntry", "IPF.Journal", "IPM.Activity", "the text", ""},
};

class UnreadableTextTest : public ::testing::TestWithParam<UnreadableTextCase> {};

TEST_P(UnreadableTextTest, TheItemIsSavedIncompleteAndNamed)
{
    if (ToolMissing())
        GTEST_SKIP() << "tolvane-cli is not built";
    const UnreadableTextCase& row = GetParam();
    QTemporaryDir scratch;
    PstBuilderOptions options;
    options.encoding = BlockEncoding::None;  // the text's bytes are found as they are
    PstBuilder pst(options);
    std::string text;
    for (int line = 0; text.size() < 150 * 1024; ++line)
        text += "agenda item " + std::to_string(line) + "\r\n";
    auto& folder = pst.topOfPersonalFolders().addFolder("Items").containerClass(row.folderClass);
    folder.addMessage(row.messageClass).subject("Intact").body("short").appointment(March(3, 9), March(3, 10));
    folder.addMessage(row.messageClass).subject("Long").body(text).appointment(March(4, 9), March(4, 10));
    const QString input = scratch.filePath(QStringLiteral("content.pst"));
    pst.Write(input.toStdString());

    // The text is stored as UTF-16, in blocks: find a short stretch from its
    // middle (one that no block boundary cuts).
    const QByteArray file = ReadAll(input);
    qsizetype at = -1;
    for (std::size_t offset = text.size() / 2; at < 0 && offset < text.size() / 2 + 4096; offset += 256) {
        const QString stretch = QString::fromStdString(text.substr(offset, 128));
        at = file.indexOf(QByteArray(reinterpret_cast<const char*>(stretch.utf16()), stretch.size() * 2));
    }
    ASSERT_GE(at, 0) << "the text's bytes are not in the file";
    ASSERT_TRUE(ZeroBlockHolding(input, file, at)) << "no block holds the text";

    const Converted converted = ConvertMailbox(scratch, pst, "eml");
    EXPECT_EQ(converted.run.exitCode, 4) << qPrintable(converted.run.out + converted.run.err);
    if (*row.counted != '\0') {
        EXPECT_TRUE(converted.run.out.contains(QLatin1String(row.counted))) << qPrintable(converted.run.out);
    }
    const QStringList problems = ProblemLines(converted.run);
    ASSERT_EQ(problems.size(), 1) << qPrintable(converted.run.err);
    EXPECT_TRUE(problems.first().startsWith(QLatin1String("saved incomplete: "))) << qPrintable(problems.first());
    EXPECT_TRUE(problems.first().contains(QLatin1String(row.lacks))) << qPrintable(problems.first());
    const QStringList calendars = FilesEndingIn(converted.output, QStringLiteral(".ics"));
    ASSERT_EQ(calendars.size(), 1);
    EXPECT_TRUE(Unfolded(ReadAll(calendars.first())).contains(QLatin1String("Intact")));
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnreadableTextTest, ::testing::ValuesIn(kUnreadableTextCases),
                         [](const auto& info) { return std::string(info.param.name); });

// A mail whose attachment has a block destroyed cannot be saved whole. In the formats without a file per mail, the problem line names the
// mail by its subject and folder; only an eml run has a file name to give.
struct UnreadableAttachmentCase {
    const char* format;
    const char* names;  // a pattern the problem line must match after its "not saved: " or "saved incomplete: "
};

const UnreadableAttachmentCase kUnreadableAttachmentCases[] = {
    {"eml", "^damaged\\d+\\.eml: "},
    {"mbox", "^\"damaged\" in Top of Personal Folders/Inbox: "},
    {"maildir", "^\"damaged\" in Top of Personal Folders/Inbox: "},
};

void PrintTo(const UnreadableAttachmentCase& row, std::ostream* out)
{
    *out << row.format;
}

class UnreadableAttachmentTest : public ::testing::TestWithParam<UnreadableAttachmentCase> {};

TEST_P(UnreadableAttachmentTest, ProblemLinesNameTheMailAsTheFormatCan)
{
    if (ToolMissing())
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    PstBuilderOptions options;
    options.encoding = BlockEncoding::None;  // the attachment's bytes are found as they are
    PstBuilder pst(options);
    // Larger than one block, so one damaged block of it costs part of it.
    const Bytes attachment = Pattern(200 * 1024, 11);
    auto& inbox = pst.topOfPersonalFolders().addFolder("Inbox");
    inbox.addMessage().subject("intact").body("nothing attached");
    inbox.addMessage().subject("damaged").body("see the attachment").attach("data.bin", attachment);
    const QString input = scratch.filePath(QStringLiteral("content.pst"));
    pst.Write(input.toStdString());

    const QByteArray file = ReadAll(input);
    const qsizetype at = file.indexOf(AsBytes(attachment).left(4096));
    ASSERT_GE(at, 0) << "the attachment's bytes are not in the file";
    ASSERT_TRUE(ZeroBlockHolding(input, file, at)) << "no block holds the attachment";

    const Converted converted = ConvertMailbox(scratch, pst, GetParam().format);
    EXPECT_EQ(converted.run.exitCode, 4) << qPrintable(converted.run.out + converted.run.err);
    const QStringList problems = ProblemLines(converted.run);
    ASSERT_EQ(problems.size(), 1) << qPrintable(converted.run.err);
    const QString named = problems.first().section(u' ', 2);  // after "not saved:" or "saved incomplete:"
    EXPECT_TRUE(QRegularExpression(QString::fromLatin1(GetParam().names)).match(named).hasMatch())
        << qPrintable(problems.first());
    if (QLatin1String(GetParam().format) != QLatin1String("eml")) {
        EXPECT_FALSE(problems.first().contains(QLatin1String(".eml"))) << qPrintable(problems.first());
    }
}

INSTANTIATE_TEST_SUITE_P(Formats, UnreadableAttachmentTest, ::testing::ValuesIn(kUnreadableAttachmentCases),
                         [](const auto& info) { return std::string(info.param.format); });

}  // namespace
}  // namespace tolvane::robustness
