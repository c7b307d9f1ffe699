// Decoding of stored text: code pages, UTF-16LE with surrogates, bad bytes.
#include "scan/TextDecoding.h"

#include <gtest/gtest.h>

#include <iconv.h>

using namespace tolvane;

namespace {

struct CodePageCase {
    int codePage;
    QByteArray bytes;
    QString expected;
};

class CodePageDecoding : public ::testing::TestWithParam<CodePageCase> {};

TEST_P(CodePageDecoding, DecodesToExpectedText)
{
    const CodePageCase& c = GetParam();
    EXPECT_EQ(DecodeCodePage(c.bytes, c.codePage), c.expected) << "code page " << c.codePage;
}

INSTANTIATE_TEST_SUITE_P(
    Table, CodePageDecoding,
    ::testing::Values(
        CodePageCase{1252, QByteArray("Gr\xFC\xDF" "e \x80", 7), QString::fromUtf8("Grüße €")},
        CodePageCase{1251, QByteArray("\xCF\xF0\xE8\xE2\xE5\xF2"), QString::fromUtf8("Привет")},
        CodePageCase{932, QByteArray("\x93\xFA\x96\x7B"), QString::fromUtf8("日本")},
        CodePageCase{936, QByteArray("\xD6\xD0\xCE\xC4"), QString::fromUtf8("中文")},
        CodePageCase{949, QByteArray("\xC7\xD1\xB1\xDB"), QString::fromUtf8("한글")},
        CodePageCase{50220, QByteArray("\x1B$B$3$s\x1B(B"), QString::fromUtf8("こん")},
        CodePageCase{65001, QByteArray("\xC3\xA9t\xC3\xA9"), QString::fromUtf8("été")},
        CodePageCase{28591, QByteArray("caf\xE9"), QString::fromUtf8("café")},
        CodePageCase{28605, QByteArray("\xA4"), QString::fromUtf8("€")},
        // Unknown code pages fall back to 1252 instead of failing.
        CodePageCase{4711, QByteArray("\xE9"), QString::fromUtf8("é")},
        // Bytes that do not decode are replaced; the rest survives.
        CodePageCase{65001, QByteArray("a\xFF" "b"), QString::fromUtf8("a\uFFFDb")},
        CodePageCase{932, QByteArray("a\x82"), QString::fromUtf8("a\uFFFD")},
        CodePageCase{1252, QByteArray("x\x81y"), QString::fromUtf8("x\uFFFDy")}));

TEST(Utf16Decoding, SurrogatePairsAndFirstNonAsciiCharacterSurvive)
{
    // "Ürün 😀" as stored: Ü first (non-ASCII), then an emoji as a surrogate pair.
    const QByteArray stored("\xDC\x00r\x00\xFC\x00n\x00 \x00\x3D\xD8\x00\xDE", 14);
    EXPECT_EQ(DecodeUtf16Le(stored), QString::fromUtf8("Ürün 😀"));
}

TEST(Utf16Decoding, BrokenSurrogatesAndOddLengthAreReplaced)
{
    EXPECT_EQ(DecodeUtf16Le(QByteArray("\x3D\xD8" "a\x00", 4)), QString::fromUtf8("\uFFFDa"));
    EXPECT_EQ(DecodeUtf16Le(QByteArray("\x00\xDE", 2)), QString::fromUtf8("\uFFFD"));
    EXPECT_EQ(DecodeUtf16Le(QByteArray("a\x00" "b", 3)), QString::fromUtf8("a\uFFFD"));
    EXPECT_EQ(DecodeUtf16Le(QByteArray("a\x00\x3D\xD8", 4)), QString::fromUtf8("a\uFFFD"));  // high surrogate at the end
}

TEST(CodePageNames, KnownAndUnknown)
{
    EXPECT_EQ(IconvNameForCodePage(1252), QByteArray("CP1252"));
    EXPECT_EQ(IconvNameForCodePage(54936), QByteArray("GB18030"));
    EXPECT_TRUE(IconvNameForCodePage(12345).isEmpty());
}

// A text attachment's part names its charset by these names: each must be
// one that readers' converters (iconv, which GMime and mutt use) open.
TEST(CodePageNames, EveryMimeCharsetNameOpensInIconv)
{
    EXPECT_EQ(MimeCharsetForCodePage(1251), QByteArray("windows-1251"));
    EXPECT_EQ(MimeCharsetForCodePage(12345), QByteArray("windows-1252"));
    int known = 0;
    for (int codePage = 0; codePage <= 65535; ++codePage) {
        if (IconvNameForCodePage(codePage).isEmpty())
            continue;
        ++known;
        const QByteArray name = MimeCharsetForCodePage(codePage);
        iconv_t descriptor = iconv_open("UTF-8", name.constData());
        EXPECT_NE(descriptor, reinterpret_cast<iconv_t>(-1)) << codePage << " " << name.constData();
        if (descriptor != reinterpret_cast<iconv_t>(-1))
            iconv_close(descriptor);
    }
    EXPECT_GT(known, 50);
}

TEST(CodePageDecodingEmpty, EmptyInputIsEmptyNotNull)
{
    const QString text = DecodeCodePage(QByteArray(), 1252);
    EXPECT_TRUE(text.isEmpty());
    EXPECT_FALSE(text.isNull());
}

}  // namespace
