// Parsing of one-off entry identifiers and flattened entry lists.
#include "convert/read/EntryIdAddress.h"

#include "scan/TextDecoding.h"

#include <QtEndian>

#include <cstring>

namespace tolvane {

namespace {

// The provider that marks an identifier as one-off: the address travels in it.
constexpr unsigned char kOneOffProvider[16] = {0x81, 0x2B, 0x1F, 0xA4, 0xBE, 0xA3, 0x10, 0x19,
                                               0x9D, 0x6E, 0x00, 0xDD, 0x01, 0x0F, 0x54, 0x02};
constexpr quint16 kOneOffUnicode = 0x8000;

// One terminated string from `at`; moves `at` past its terminator. nullopt
// when the data ends before one.
std::optional<QString> NextString(const QByteArray& data, qsizetype& at, bool unicode, int codePage)
{
    if (unicode) {
        for (qsizetype end = at; end + 1 < data.size(); end += 2) {
            if (data.at(end) == 0 && data.at(end + 1) == 0) {
                const QString text = DecodeUtf16Le(data.constData() + at, end - at);
                at = end + 2;
                return text;
            }
        }
        return std::nullopt;
    }
    const qsizetype end = data.indexOf('\0', at);
    if (end < 0)
        return std::nullopt;
    const QString text = DecodeCodePage(data.constData() + at, end - at, codePage);
    at = end + 1;
    return text;
}

}  // namespace

std::optional<OneOffAddress> ParseOneOffEntryId(const QByteArray& entryId, int codePage)
{
    // Flags (4), provider (16), version (2), one-off flags (2), then three strings.
    constexpr qsizetype kHeader = 24;
    if (entryId.size() < kHeader || std::memcmp(entryId.constData() + 4, kOneOffProvider, 16) != 0)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const uchar*>(entryId.constData());
    const quint16 flags = qFromLittleEndian<quint16>(bytes + 22);
    const bool unicode = (flags & kOneOffUnicode) != 0;
    qsizetype at = kHeader;
    OneOffAddress address;
    const auto name = NextString(entryId, at, unicode, codePage);
    const auto type = name ? NextString(entryId, at, unicode, codePage) : std::nullopt;
    const auto value = type ? NextString(entryId, at, unicode, codePage) : std::nullopt;
    if (!value)
        return std::nullopt;
    address.displayName = name->trimmed();
    address.addressType = type->trimmed();
    address.address = value->trimmed();
    return address;
}

QVector<QByteArray> SplitFlatEntryList(const QByteArray& list)
{
    QVector<QByteArray> entries;
    if (list.size() < 8)
        return entries;
    const auto* bytes = reinterpret_cast<const uchar*>(list.constData());
    const quint32 count = qFromLittleEndian<quint32>(bytes);
    qsizetype at = 8;
    for (quint32 n = 0; n < count && at + 4 <= list.size(); ++n) {
        const quint32 size = qFromLittleEndian<quint32>(bytes + at);
        at += 4;
        if (size > static_cast<quint32>(list.size() - at))
            break;
        entries.push_back(list.mid(at, size));
        at += (static_cast<qsizetype>(size) + 3) & ~qsizetype(3);
    }
    return entries;
}

}  // namespace tolvane
