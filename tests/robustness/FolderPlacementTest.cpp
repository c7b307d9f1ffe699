// Mailbox folders whose names would meet on disk: siblings of the same name,
// names the cleaning makes equal, names longer than a file name may be, the
// manifest's own name, and a tree deeper than PATH_MAX. Each mailbox is
// converted by tolvane-cli in every format; every folder's mail must end up
// in an output place of its own, listed under the folder's stored path, and
// the output must pass verify. A mail below PATH_MAX is written, verified
// and dated like any other.
#include "tests/robustness/Fixtures.h"

#include "base/NativePath.h"
#include "base/UniqueFd.h"
#include "tests/support/CliRun.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <functional>
#include <initializer_list>
#include <optional>
#include <string_view>
#include <vector>
#include <map>
#include <set>

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane::robustness {
namespace {

using namespace tolvane::pstwriter;
using testing::CliRun;
using testing::RunCli;

const char* const kFormats[] = {"eml", "mbox", "mboxtree", "maildir"};
const QString kTop = QStringLiteral("Top of Personal Folders");

// The folders a case made, by the tag its mails' subjects carry.
struct MailFolder {
    // The names from the root, "/"-joined, as the mailbox holds them; a
    // folder without a name is listed under the number it takes instead.
    QString storedPath;
    int mails = 0;
    bool numbered = false;
};
using MailFolders = std::map<QString, MailFolder>;

// Adds `count` mails to `folder`, each subject starting with the folder's tag.
void AddMails(PstFolder& folder, const QString& storedPath, int count, MailFolders& made, bool numbered = false)
{
    const QString tag = QStringLiteral("f%1").arg(made.size());
    for (int i = 0; i < count; ++i)
        folder.addMessage().subject((tag + QStringLiteral(" mail %1").arg(i)).toStdString()).body("text");
    made[tag] = MailFolder{storedPath, count, numbered};
}

PstFolder& Child(PstFolder& parent, const QString& name)
{
    return parent.addFolder(name.toStdString());
}

struct PlacementCase {
    const char* name;
    std::function<void(PstBuilder&, MailFolders&)> build;
};

// A string of UTF-16 units as written, lone surrogates and a leading
// byte-order mark included (QString::fromUtf16 would drop that).
QString Units(std::u16string_view units)
{
    return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
}

// The bytes the PST writer takes for a name: UTF-8, where a lone surrogate
// is written the way UTF-8 would write it if it could (ED B0..BF xx), which
// the writer stores as that one UTF-16 unit.
std::string WriterBytes(const QString& name)
{
    std::string bytes;
    for (const QChar c : name) {
        if (!c.isSurrogate()) {
            bytes += QString(c).toStdString();
            continue;
        }
        const char16_t u = c.unicode();
        bytes += static_cast<char>(0xE0 | (u >> 12));
        bytes += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (u & 0x3F));
    }
    return bytes;
}

// A name as the scan reads it: a half of a surrogate pair as U+FFFD.
QString AsRead(QString name)
{
    for (qsizetype i = 0; i < name.size(); ++i) {
        const bool pair = name.at(i).isHighSurrogate() && i + 1 < name.size() && name.at(i + 1).isLowSurrogate();
        if (pair)
            ++i;
        else if (name.at(i).isSurrogate())
            name[i] = QChar(0xFFFD);
    }
    return name;
}

// Sibling folders below the top folder, by their names as the mailbox holds them.
void AddSiblings(PstBuilder& pst, MailFolders& made, std::initializer_list<QString> names)
{
    int count = 1;
    for (const QString& name : names)
        AddMails(pst.topOfPersonalFolders().addFolder(WriterBytes(name)), kTop + u'/' + AsRead(name), count++, made);
}

const QString k200L = QString(200, u'L');
const QString k200M = QString(200, u'M');

const PlacementCase kPlacementCases[] = {
    {"SiblingsOfTheSameName",
     [](PstBuilder& pst, MailFolders& made) {
         AddMails(Child(pst.topOfPersonalFolders(), "Inbox"), kTop + "/Inbox", 2, made);
         AddMails(Child(pst.topOfPersonalFolders(), "Inbox"), kTop + "/Inbox", 3, made);
     }},
    {"SameNameBelowDifferentParents",
     [](PstBuilder& pst, MailFolders& made) {
         AddMails(Child(Child(pst.topOfPersonalFolders(), "A"), "sub"), kTop + "/A/sub", 1, made);
         AddMails(Child(Child(pst.topOfPersonalFolders(), "B"), "sub"), kTop + "/B/sub", 5, made);
     }},
    {"SlashBesideUnderscore",
     [](PstBuilder& pst, MailFolders& made) {
         AddMails(Child(pst.topOfPersonalFolders(), "a/b"), kTop + "/a/b", 1, made);
         AddMails(Child(pst.topOfPersonalFolders(), "a_b"), kTop + "/a_b", 2, made);
     }},
    {"DotBesideEmptyName",
     [](PstBuilder& pst, MailFolders& made) {
         AddMails(Child(pst.topOfPersonalFolders(), "."), kTop + "/.", 1, made);
         AddMails(Child(pst.topOfPersonalFolders(), ""), kTop + "/", 2, made, true);
     }},
    {"DeepChainsOfLongNames",
     [](PstBuilder& pst, MailFolders& made) {
         PstFolder& l = Child(pst.topOfPersonalFolders(), k200L);
         PstFolder& m = Child(l, k200M);
         const QString above = kTop + u'/' + k200L + u'/' + k200M;
         AddMails(m, above, 1, made);
         AddMails(Child(m, "X"), above + "/X", 1, made);
         AddMails(Child(m, "Y"), above + "/Y", 2, made);
         AddMails(Child(m, "Z"), above + "/Z", 3, made);
     }},
    {"LongNonAsciiNamesDifferingAtTheEnd",
     [](PstBuilder& pst, MailFolders& made) {
         // Mixed so that the encoded Maildir name is many short sequences:
         // any cut at 255 bytes has several chances to land inside one.
         QString stem;
         for (int i = 0; i < 40; ++i)
             stem += QStringLiteral("ü%1ß").arg(i % 10);
         for (const char* end : {"1", "2"})
             AddMails(Child(pst.topOfPersonalFolders(), stem + QLatin1String(end)), kTop + u'/' + stem + end, 2,
                      made);
     }},
};

// Names a text decoder or a file manager would take for one another: a
// byte-order mark where a decoder drops it, a zero-width space, one accent
// precomposed and decomposed, halves of surrogate pairs (no UTF-8 at all).
const PlacementCase kLookalikeNameCases[] = {
    {"ByteOrderMarks",
     [](PstBuilder& pst, MailFolders& made) {
         AddSiblings(pst, made, {Units(u"Inbox"), Units(u"\xFEFFInbox"), Units(u"In\xFEFF" u"box\xFEFF"),
                                 Units(u"\xFEFF")});
     }},
    {"ZeroWidthSpace",
     [](PstBuilder& pst, MailFolders& made) {
         AddSiblings(pst, made, {Units(u"Inbox"), Units(u"\x200BInbox"), Units(u"In\x200B" u"box")});
     }},
    {"PrecomposedBesideDecomposed",
     [](PstBuilder& pst, MailFolders& made) {
         AddSiblings(pst, made, {Units(u"Caf\x00E9"), Units(u"Cafe\x0301"), Units(u"\x00E9"), Units(u"e\x0301")});
     }},
    {"LoneSurrogates",
     [](PstBuilder& pst, MailFolders& made) {
         // U+DCC3 U+DCA9 would read as the bytes of "é" written in UTF-8.
         AddSiblings(pst, made, {Units(u"Lone \xDCFF"), Units(u"Lone \xDC80"), Units(u"Lone \xD800"),
                                 Units(u"Lone \xDBFF\xDBFF"), Units(u"Lone \xDCC3\xDCA9"), Units(u"Lone \x00E9")});
     }},
};

void PrintTo(const PlacementCase& row, std::ostream* out)
{
    *out << row.name;
}

// Converts `input` with --format `format` into a new directory of that name
// in `scratch`; the one output folder the run made, or empty (with the run's
// words in *said) when the run failed or made none.
QString ConvertInto(const QTemporaryDir& scratch, const QString& input, const char* format, QString* said)
{
    const QString destination = scratch.filePath(QString::fromLatin1(format));
    if (!QDir().mkpath(destination))
        return QString();
    const CliRun run = RunCli({"convert", "--format", QString::fromLatin1(format), input, destination});
    *said = run.out + run.err;
    const QStringList outputs = QDir(destination).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    if (run.exitCode != 0 || outputs.size() != 1)
        return QString();
    return destination + u'/' + outputs.first();
}

QList<QJsonObject> ManifestLines(const QString& outputFolder)
{
    QList<QJsonObject> lines;
    for (const QByteArray& line : ReadAll(outputFolder + QStringLiteral("/manifest.jsonl")).split('\n')) {
        if (!line.isEmpty())
            lines << QJsonDocument::fromJson(line).object();
    }
    return lines;
}

// The mail counts scan's folder tree shows, of the folders that show any, sorted.
std::multiset<int> TreeMailCounts(const QString& scanOutput)
{
    static const QRegularExpression count(QStringLiteral("  \\(mail (\\d+), contacts \\d+, appointments \\d+\\)$"),
                                          QRegularExpression::MultilineOption);
    std::multiset<int> counts;
    for (auto match = count.globalMatch(scanOutput); match.hasNext();) {
        const int mails = match.next().captured(1).toInt();
        if (mails > 0)
            counts.insert(mails);
    }
    return counts;
}

// Where a mail went: its own file's folder (eml), the shared file (mbox), or
// the Maildir folder that holds cur/.
QString PlaceOf(const QString& format, const QString& path)
{
    if (format == QLatin1String("mbox") || format == QLatin1String("mboxtree"))
        return path;
    QString folder = path.section(u'/', 0, -2);
    if (format == QLatin1String("maildir") && folder.endsWith(QLatin1String("/cur")))
        folder.chop(4);
    return folder;
}

// A well-formed IMAP modified UTF-7 name: every "&" opens a base64 run of
// whole UTF-16 units closed by "-" ("&-" is the ampersand).
bool IsModifiedUtf7(const QByteArray& name, QString* why)
{
    for (qsizetype at = 0; at < name.size(); ++at) {
        const char c = name.at(at);
        if (c < 0x20 || c > 0x7E) {
            *why = QStringLiteral("a byte outside printable ASCII at %1").arg(at);
            return false;
        }
        if (c != '&')
            continue;
        const qsizetype close = name.indexOf('-', at + 1);
        if (close < 0) {
            *why = QStringLiteral("the \"&\" at %1 is never closed").arg(at);
            return false;
        }
        const QByteArray run = name.mid(at + 1, close - at - 1);
        static const QRegularExpression base64(QStringLiteral("^[A-Za-z0-9+,]*$"));
        const qsizetype units = run.size() % 8;
        if (!base64.match(QString::fromLatin1(run)).hasMatch() || (units != 0 && units != 3 && units != 6)) {
            *why = QStringLiteral("the run \"&%1-\" is no whole number of UTF-16 units").arg(QString::fromLatin1(run));
            return false;
        }
        at = close;
    }
    return true;
}

class FolderPlacementTest : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(FolderPlacementTest, EveryFolderGetsAPlaceOfItsOwnInEveryFormat)
{
    if (::access(TOLVANE_BIN_DIR "/tolvane-cli", X_OK) != 0)
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    PstBuilder pst;
    MailFolders made;
    GetParam().build(pst, made);
    const QString input = scratch.filePath(QStringLiteral("folders.pst"));
    pst.Write(input.toStdString());

    // The scan's tree counts each folder's own mail, not that of every folder of its name.
    const CliRun scan = RunCli({"scan", input});
    ASSERT_EQ(scan.exitCode, 0) << qPrintable(scan.err);
    std::multiset<int> madeCounts;
    for (const auto& [tag, folder] : made)
        madeCounts.insert(folder.mails);
    EXPECT_EQ(TreeMailCounts(scan.out), madeCounts) << qPrintable(scan.out);

    for (const char* format : kFormats) {
        SCOPED_TRACE(format);
        QString said;
        const QString output = ConvertInto(scratch, input, format, &said);
        ASSERT_FALSE(output.isEmpty()) << qPrintable(said);

        // place -> tag of every mail written there
        std::map<QString, std::multiset<QString>> tagsByPlace;
        for (const QJsonObject& line : ManifestLines(output)) {
            if (line.value(QStringLiteral("kind")).toString() != QLatin1String("mail"))
                continue;
            const QString tag = line.value(QStringLiteral("subject")).toString().section(u' ', 0, 0);
            ASSERT_EQ(made.count(tag), 1u) << qPrintable(tag);
            const QString folder = line.value(QStringLiteral("folder")).toString();
            if (made[tag].numbered)
                EXPECT_TRUE(QRegularExpression(u'^' + QRegularExpression::escape(made[tag].storedPath)
                                               + QStringLiteral("Folder\\d+$"))
                                .match(folder)
                                .hasMatch())
                    << qPrintable(tag) << " listed in " << qPrintable(folder);
            else
                EXPECT_EQ(folder.toStdString(), made[tag].storedPath.toStdString()) << qPrintable(tag);
            const QString path = line.value(QStringLiteral("path")).toString();
            ASSERT_FALSE(path.isEmpty()) << qPrintable(tag) << " was not written";
            tagsByPlace[PlaceOf(QString::fromLatin1(format), path)].insert(tag);
        }
        std::set<QString> placed;
        for (const auto& [place, tags] : tagsByPlace) {
            const QString tag = *tags.begin();
            EXPECT_EQ(tags.count(tag), tags.size()) << "mail of several folders in " << qPrintable(place);
            EXPECT_EQ(static_cast<int>(tags.count(tag)), made[tag].mails) << qPrintable(place);
            EXPECT_TRUE(placed.insert(tag).second) << qPrintable(tag) << "'s mail is in more than one place";
        }
        EXPECT_EQ(placed.size(), made.size());

        if (QLatin1String(format) == QLatin1String("maildir")) {
            for (const QString& name : QDir(output + QStringLiteral("/Maildir")).entryList(QDir::Dirs | QDir::Hidden)) {
                QString why;
                EXPECT_TRUE(IsModifiedUtf7(name.toUtf8(), &why)) << qPrintable(name) << ": " << qPrintable(why);
            }
        }
        const CliRun verify = RunCli({"verify", output});
        EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
    }
}

INSTANTIATE_TEST_SUITE_P(Mailboxes, FolderPlacementTest, ::testing::ValuesIn(kPlacementCases),
                         [](const auto& info) { return std::string(info.param.name); });
INSTANTIATE_TEST_SUITE_P(LookalikeNames, FolderPlacementTest, ::testing::ValuesIn(kLookalikeNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

// The manifest's own name is kept for the manifest, whatever the mailbox's
// folders are called: a folder of that name beside the top folder, or below
// it, gets another directory.
struct ReservedNameCase {
    const char* name;
    std::function<PstFolder&(PstBuilder&)> parent;
    const char* storedPath;  // the folder's path as the manifest must list it
};

const ReservedNameCase kReservedNameCases[] = {
    {"BesideTheTopFolder", [](PstBuilder& pst) -> PstFolder& { return pst.rootFolder(); }, "manifest.jsonl"},
    {"BelowTheTopFolder", [](PstBuilder& pst) -> PstFolder& { return pst.topOfPersonalFolders(); },
     "Top of Personal Folders/manifest.jsonl"},
};

void PrintTo(const ReservedNameCase& row, std::ostream* out)
{
    *out << row.name;
}

class ReservedNameTest : public ::testing::TestWithParam<ReservedNameCase> {};

TEST_P(ReservedNameTest, AFolderNamedLikeTheManifestGoesElsewhere)
{
    if (::access(TOLVANE_BIN_DIR "/tolvane-cli", X_OK) != 0)
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    PstBuilder pst;
    PstFolder& folder = GetParam().parent(pst).addFolder("manifest.jsonl");
    for (int i = 0; i < 3; ++i)
        folder.addMessage().subject("kept " + std::to_string(i)).body("text");
    const QString input = scratch.filePath(QStringLiteral("reserved.pst"));
    pst.Write(input.toStdString());

    for (const char* format : kFormats) {
        SCOPED_TRACE(format);
        QString said;
        const QString output = ConvertInto(scratch, input, format, &said);
        ASSERT_FALSE(output.isEmpty()) << qPrintable(said);
        EXPECT_TRUE(QFileInfo(output + QStringLiteral("/manifest.jsonl")).isFile());
        int written = 0;
        for (const QJsonObject& line : ManifestLines(output)) {
            if (line.value(QStringLiteral("kind")).toString() != QLatin1String("mail"))
                continue;
            const QString path = line.value(QStringLiteral("path")).toString();
            EXPECT_FALSE(path.isEmpty());
            EXPECT_FALSE(path.startsWith(QLatin1String("manifest.jsonl/"))) << qPrintable(path);
            EXPECT_EQ(line.value(QStringLiteral("folder")).toString().toStdString(), GetParam().storedPath);
            ++written;
        }
        EXPECT_EQ(written, 3);
        const CliRun verify = RunCli({"verify", output});
        EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
    }
}

INSTANTIATE_TEST_SUITE_P(Places, ReservedNameTest, ::testing::ValuesIn(kReservedNameCases),
                         [](const auto& info) { return std::string(info.param.name); });

// Removes everything below `directoryFd` by descriptors: the deep case makes
// paths that no full path can name, which a removal by paths would leave.
void RemoveBelow(int directoryFd)
{
    const int copy = ::fcntl(directoryFd, F_DUPFD_CLOEXEC, 0);
    DIR* stream = copy >= 0 ? ::fdopendir(copy) : nullptr;
    if (stream == nullptr)
        return;
    std::vector<QByteArray> names;
    while (const dirent* entry = ::readdir(stream)) {
        if (QByteArray(entry->d_name) != "." && QByteArray(entry->d_name) != "..")
            names.emplace_back(entry->d_name);
    }
    ::closedir(stream);
    for (const QByteArray& name : names) {
        const UniqueFd child(::openat(directoryFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
        if (child) {
            RemoveBelow(child.get());
            ::unlinkat(directoryFd, name.constData(), AT_REMOVEDIR);
        } else {
            ::unlinkat(directoryFd, name.constData(), 0);
        }
    }
}

// The status of the file at `relative` below `root`, reached folder by
// folder through descriptors; nullopt when any step fails.
std::optional<struct stat> StatBelow(const QString& root, const QString& relative)
{
    QStringList components = relative.split(u'/');
    const QString name = components.takeLast();
    UniqueFd directory(::open(NativePath(root).constData(), O_RDONLY | O_DIRECTORY));
    for (const QString& component : components) {
        if (!directory)
            return std::nullopt;
        directory = UniqueFd(::openat(directory.get(), NativePath(component).constData(),
                                      O_RDONLY | O_DIRECTORY | O_NOFOLLOW));
    }
    struct stat info {};
    if (!directory || ::fstatat(directory.get(), NativePath(name).constData(), &info, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return info;
}

TEST(DeepFolderTest, MailBelowPathMaxIsWrittenVerifiedAndDated)
{
    if (::access(TOLVANE_BIN_DIR "/tolvane-cli", X_OK) != 0)
        GTEST_SKIP() << "tolvane-cli is not built";
    QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    struct Cleanup {
        QString path;
        ~Cleanup()
        {
            const UniqueFd root(::open(NativePath(path).constData(), O_RDONLY | O_DIRECTORY));
            if (root)
                RemoveBelow(root.get());
        }
    } cleanup{scratch.path()};

    constexpr int kLevels = 60;
    constexpr int64_t kDelivered = 1300000000;  // 2011-03-13 07:06:40 UTC
    PstBuilder pst;
    PstFolder* folder = &pst.topOfPersonalFolders();
    for (int level = 0; level < kLevels; ++level)
        folder = &folder->addFolder(std::to_string(level) + std::string(100 - std::to_string(level).size(), 'd'));
    folder->addMessage().subject("deepest").body("down here").received(pstwriter::FileTime::fromUnixSeconds(kDelivered));
    const QString input = scratch.filePath(QStringLiteral("deep.pst"));
    pst.Write(input.toStdString());

    for (const char* format : {"eml", "maildir"}) {
        SCOPED_TRACE(format);
        QString said;
        const QString output = ConvertInto(scratch, input, format, &said);
        ASSERT_FALSE(output.isEmpty()) << qPrintable(said);
        QString deepest;
        for (const QJsonObject& line : ManifestLines(output)) {
            if (line.value(QStringLiteral("subject")).toString() == QLatin1String("deepest"))
                deepest = line.value(QStringLiteral("path")).toString();
        }
        ASSERT_FALSE(deepest.isEmpty()) << "the deepest mail was not written";
        if (QLatin1String(format) == QLatin1String("eml"))
            EXPECT_GT(NativePath(output + u'/' + deepest).size(), PATH_MAX);
        const auto info = StatBelow(output, deepest);
        ASSERT_TRUE(info.has_value()) << qPrintable(deepest);
        EXPECT_TRUE(S_ISREG(info->st_mode));
        EXPECT_EQ(info->st_mtim.tv_sec, kDelivered);
        const CliRun verify = RunCli({"verify", output});
        EXPECT_EQ(verify.exitCode, 0) << qPrintable(verify.out + verify.err);
    }
}

}  // namespace
}  // namespace tolvane::robustness
