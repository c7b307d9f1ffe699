// What a PST header says of its file: the content type and the length the
// file had when last written, in both header layouts, and nothing made up
// when the header is short or of a version not known here.
#include "scan/PstSignature.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>

namespace tolvane {
namespace {

void PutLittleEndian(QByteArray& bytes, qsizetype offset, std::uint64_t value, int width)
{
    for (int i = 0; i < width; ++i)
        bytes[offset + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

QByteArray Header(const char* contentType, std::uint16_t version, qsizetype size = 564)
{
    QByteArray header(size, '\0');
    header.replace(0, 4, "!BDN");
    header[8] = contentType[0];
    header[9] = contentType[1];
    PutLittleEndian(header, 10, version, 2);
    return header;
}

TEST(PstHeaderFacts, DeclaredLengthInEitherLayout)
{
    QByteArray unicode = Header("SM", 23);
    PutLittleEndian(unicode, 184, 0x123456789AULL, 8);
    QByteArray pages4k = Header("SO", 36);
    PutLittleEndian(pages4k, 184, 1 << 20, 8);
    QByteArray ansi = Header("SM", 14);
    PutLittleEndian(ansi, 168, 271360, 4);
    // Where the other layout keeps it: a value that must not be taken.
    PutLittleEndian(ansi, 184, 99, 8);
    QByteArray ansi15 = Header("AB", 15);
    PutLittleEndian(ansi15, 168, 4096, 4);

    const struct {
        const char* name;
        QByteArray header;
        PstContent content;
        QByteArray contentType;
        std::optional<std::uint64_t> declared;
    } cases[] = {
        {"64-bit", unicode, PstContent::Pst, "SM", 0x123456789AULL},
        {"4 KiB pages, offline cache", pages4k, PstContent::Ost, "SO", 1 << 20},
        {"32-bit", ansi, PstContent::Pst, "SM", 271360},
        {"32-bit address book", ansi15, PstContent::OtherContent, "AB", 4096},
        {"unknown version", Header("SM", 19), PstContent::Pst, "SM", std::nullopt},
        {"cut before the root", Header("SM", 23, 180), PstContent::Pst, "SM", std::nullopt},
        {"cut inside the length", Header("SM", 23, 188), PstContent::Pst, "SM", std::nullopt},
        {"no signature", QByteArray(564, 'x'), PstContent::NotPst, "", std::nullopt},
        {"empty", QByteArray(), PstContent::NotPst, "", std::nullopt},
    };
    for (const auto& c : cases) {
        const PstHeaderFacts facts = ReadPstHeaderFacts(c.header);
        EXPECT_EQ(facts.content, c.content) << c.name;
        EXPECT_EQ(facts.contentType, c.contentType) << c.name;
        EXPECT_EQ(facts.declaredLength, c.declared) << c.name;
    }
}

}  // namespace
}  // namespace tolvane
