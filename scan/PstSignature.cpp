// The signature and content-type test of a PST header.
#include "scan/PstSignature.h"

namespace tolvane {

PstContent ClassifyPstHeader(const QByteArray& header)
{
    if (header.size() < kPstHeaderBytes || !header.startsWith("!BDN"))
        return PstContent::NotPst;
    // 0x4D53 little-endian: the letters "SM"; 0x4F53: "SO".
    if (header.at(8) == 'S' && header.at(9) == 'M')
        return PstContent::Pst;
    if (header.at(8) == 'S' && header.at(9) == 'O')
        return PstContent::Ost;
    return PstContent::OtherContent;
}

namespace {

template <typename T>
std::optional<T> LittleEndianAt(const QByteArray& bytes, qsizetype offset)
{
    if (offset < 0 || offset + static_cast<qsizetype>(sizeof(T)) > bytes.size())
        return std::nullopt;
    T value = 0;
    for (std::size_t i = sizeof(T); i-- > 0;)
        value = static_cast<T>((value << 8) | static_cast<unsigned char>(bytes.at(offset + static_cast<qsizetype>(i))));
    return value;
}

}  // namespace

PstHeaderFacts ReadPstHeaderFacts(const QByteArray& header)
{
    PstHeaderFacts facts;
    facts.content = ClassifyPstHeader(header);
    if (facts.content == PstContent::NotPst)
        return facts;
    facts.contentType = header.mid(8, 2);
    // The format version at offset 10 says which layout the header has: the
    // 32-bit one (14, 15) keeps its root at 164, the 64-bit ones (23 and
    // the 4 KiB-page 36) at 180; the end of file is the root's second field.
    const std::optional<std::uint16_t> version = LittleEndianAt<std::uint16_t>(header, 10);
    facts.formatVersion = version;
    if (!version)
        return facts;
    if (*version == 14 || *version == 15) {
        if (const auto end = LittleEndianAt<std::uint32_t>(header, 168))
            facts.declaredLength = *end;
    } else if (*version >= 23) {
        if (const auto end = LittleEndianAt<std::uint64_t>(header, 184))
            facts.declaredLength = *end;
    }
    return facts;
}

}  // namespace tolvane
