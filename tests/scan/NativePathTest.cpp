// File names through QString and back: every byte string survives, valid
// UTF-8 reads as text, and the bytes that are not UTF-8 stay apart from text.
#include "base/NativePath.h"

#include <gtest/gtest.h>

#include <string_view>

using namespace tolvane;

namespace {

// A string of UTF-16 units as written, lone surrogates and a leading
// byte-order mark included (QString::fromUtf16 would drop that).
QString Units(std::u16string_view units)
{
    return QString(reinterpret_cast<const QChar*>(units.data()), static_cast<qsizetype>(units.size()));
}

struct NameCase {
    const char* what;
    QByteArray bytes;
    QString decoded;
};

class NativePathNames : public ::testing::TestWithParam<NameCase> {};

TEST_P(NativePathNames, DecodesAsExpectedAndEncodesBackToTheSameBytes)
{
    const NameCase& c = GetParam();
    EXPECT_EQ(PathFromNative(c.bytes), c.decoded) << c.what;
    EXPECT_EQ(NativePath(c.decoded), c.bytes) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Table, NativePathNames,
    ::testing::Values(
        NameCase{"ascii", QByteArray("/tmp/a.pst"), QStringLiteral("/tmp/a.pst")},
        NameCase{"utf-8 and a pair", QByteArray("/d/\xC3\xA9t\xC3\xA9 \xF0\x9F\x93\xAC"), QString::fromUtf8("/d/été 📬")},
        NameCase{"latin-1 byte", QByteArray("caf\xE9.pst"), Units(u"caf\xDCE9.pst")},
        NameCase{"lone continuation and 0xFF", QByteArray("\x80\xFF"), Units(u"\xDC80\xDCFF")},
        NameCase{"cut sequence", QByteArray("a\xE2\x82"), Units(u"a\xDCE2\xDC82")},
        NameCase{"overlong slash", QByteArray("\xC0\xAF"), Units(u"\xDCC0\xDCAF")},
        NameCase{"encoded surrogate", QByteArray("\xED\xB2\x80"), Units(u"\xDCED\xDCB2\xDC80")},
        NameCase{"byte-order mark alone", QByteArray("\xEF\xBB\xBF"), Units(u"\xFEFF")},
        NameCase{"byte-order mark first", QByteArray("\xEF\xBB\xBFInbox"), Units(u"\xFEFFInbox")},
        NameCase{"byte-order mark after a slash", QByteArray("/o/\xEF\xBB\xBF" "a\xEF\xBB\xBF"), Units(u"/o/\xFEFF" u"a\xFEFF")},
        NameCase{"zero-width space", QByteArray("\xE2\x80\x8B"), Units(u"\x200B")},
        NameCase{"precomposed e acute", QByteArray("\xC3\xA9"), Units(u"\x00E9")},
        NameCase{"e and a combining acute", QByteArray("e\xCC\x81"), Units(u"e\x0301")},
        NameCase{"pair after invalid byte", QByteArray("\xFF\xF0\x9F\x93\xAC"), Units(u"\xDCFF\xD83D\xDCEC")}),
    [](const auto& info) { return std::to_string(info.index); });

// A text with a real character whose low half looks like an escaped byte
// (U+10080 is D800 DC80) stays text.
TEST(NativePath, SurrogatePairsAreNeverTakenForBytes)
{
    const QString text = QString::fromUcs4(U"\U00010080");
    EXPECT_FALSE(HasUndecodableBytes(text));
    EXPECT_EQ(NativePath(text), QByteArray("\xF0\x90\x82\x80"));
    EXPECT_TRUE(HasUndecodableBytes(PathFromNative("x\xFF")));
}

}  // namespace
