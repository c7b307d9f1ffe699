// Maildir++ directory names of folder paths too long for one file name: each
// must fit in 255 bytes, stay well-formed modified UTF-7 and differ from the
// name of every other path, however alike their starts are.
#include "convert/output/MailFormats.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <set>

namespace tolvane {
namespace {

// Every "&" opens a run of base64 that holds whole UTF-16 units and is closed
// by "-"; everything else is printable ASCII.
bool WellFormed(const QString& name)
{
    static const QRegularExpression shape(
        QStringLiteral("^(?:[\\x20-\\x25\\x27-\\x7E]|&-|&(?:[A-Za-z0-9+,]{8})*(?:[A-Za-z0-9+,]{3}|[A-Za-z0-9+,]{6})?-)*$"));
    return shape.match(name).hasMatch();
}

struct LongPathCase {
    const char* name;
    QList<QStringList> paths;  // folders side by side; each must get its own name
};

QString Repeated(const QString& piece, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += piece;
    return text;
}

const QString kL = QString(200, u'L');
const QString kM = QString(200, u'M');

const LongPathCase kLongPaths[] = {
    {"ChildrenOfTwoLongLevels", {{kL, kM}, {kL, kM, "X"}, {kL, kM, "Y"}, {kL, kM, "Z"}}},
    {"OneLongNameDifferingInItsLastCharacter", {{QString(300, u'a') + "1"}, {QString(300, u'a') + "2"}}},
    // Short encoded runs everywhere: a cut at any byte may fall inside one.
    {"NonAsciiRuns", {{Repeated(QStringLiteral("ü1ß"), 60) + "x"}, {Repeated(QStringLiteral("ü1ß"), 60) + "y"}}},
    // One run longer than the whole limit: nothing of it can be kept.
    {"OneRunPastTheLimit", {{QString(200, QChar(0x4E2D)) + "a"}, {QString(200, QChar(0x4E2D)) + "b"}}},
    // A cut just after a level's ".": the digest joins the level before, never one of its own.
    {"CutAtALevelBoundary", {{QString(236, u'p'), QString(40, u'q')}, {QString(236, u'p'), QString(40, u'r')}}},
    {"Ampersands", {{Repeated("&", 200) + "1"}, {Repeated("&", 200) + "2"}}},
};

void PrintTo(const LongPathCase& row, std::ostream* out)
{
    *out << row.name;
}

class LongMaildirNameTest : public ::testing::TestWithParam<LongPathCase> {};

TEST_P(LongMaildirNameTest, FitsStaysWellFormedAndApart)
{
    std::set<QString> names;
    for (const QStringList& path : GetParam().paths) {
        const QString name = MaildirFolderName(path);
        SCOPED_TRACE(name.toStdString());
        EXPECT_LE(name.toUtf8().size(), 255);
        EXPECT_TRUE(WellFormed(name));
        EXPECT_TRUE(name.startsWith(u'.'));
        EXPECT_FALSE(name.contains(QLatin1String("..")));
        EXPECT_FALSE(name.contains(QLatin1String(".~"))) << "the digest makes a level of its own";
        EXPECT_TRUE(names.insert(name).second) << "two folders share it";
        EXPECT_EQ(MaildirFolderName(path), name) << "the same folder must always get the same name";
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, LongMaildirNameTest, ::testing::ValuesIn(kLongPaths),
                         [](const auto& info) { return std::string(info.param.name); });

// Up to the limit a name is the plain encoding, uncut.
TEST(LongMaildirNameTest, NamesWithinTheLimitAreNotShortened)
{
    const QString fits = QString(254, u'n');
    EXPECT_EQ(MaildirFolderName({fits}), u'.' + fits);
    EXPECT_NE(MaildirFolderName({fits + u'n'}), u'.' + fits + u'n');
}

}  // namespace
}  // namespace tolvane
