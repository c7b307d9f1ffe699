// Conversions from test-friendly C++ values to the stored form of property values.
#include "pstwriter/PropertyValue.h"

#include <cstring>
#include <stdexcept>

namespace tolvane::pstwriter {

bool IsFixedSizeType(uint16_t type) { return FixedTypeSize(type) != 0; }

size_t FixedTypeSize(uint16_t type)
{
    switch (type) {
    case PtShort:
        return 2;
    case PtLong:
    case PtFloat:
    case PtError:
        return 4;
    case PtBoolean:
        return 1;
    case PtDouble:
    case PtCurrency:
    case PtAppTime:
    case PtLongLong:
    case PtSysTime:
        return 8;
    default:
        return 0;
    }
}

FileTime FileTime::fromUnixSeconds(int64_t seconds)
{
    constexpr int64_t kEpochDifference = 11644473600LL;
    return FileTime{uint64_t((seconds + kEpochDifference) * 10000000LL)};
}

Guid ParseGuid(std::string_view text)
{
    std::string hex;
    for (char c : text)
        if (std::isxdigit(static_cast<unsigned char>(c)))
            hex += c;
    if (hex.size() != 32)
        throw std::invalid_argument("bad GUID");
    auto byteAt = [&](size_t i) { return uint8_t(std::stoi(hex.substr(i * 2, 2), nullptr, 16)); };
    Guid g{};
    // Data1 (4 bytes), Data2 and Data3 (2 bytes each) are little-endian; Data4 is a byte array.
    constexpr int kStoredOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
    for (int i = 0; i < 16; ++i)
        g[i] = byteAt(kStoredOrder[i]);
    return g;
}

namespace {

// A count, one offset per value from the start, then the values.
Bytes MultipleValueBytes(const std::vector<Bytes>& values)
{
    Bytes data;
    PutU32(data, uint32_t(values.size()));
    uint32_t offset = uint32_t(4 + 4 * values.size());
    for (const Bytes& one : values) {
        PutU32(data, offset);
        offset += uint32_t(one.size());
    }
    for (const Bytes& one : values)
        data.insert(data.end(), one.begin(), one.end());
    return data;
}

}  // namespace

PropertyValue PropertyValue::multipleUnicode(const std::vector<std::string>& utf8Strings)
{
    std::vector<Bytes> encoded;
    for (const std::string& text : utf8Strings)
        encoded.push_back(Utf8ToUtf16Le(text));
    return raw(PtMultipleUnicode, MultipleValueBytes(encoded));
}

PropertyValue PropertyValue::multipleBinary(const std::vector<Bytes>& values)
{
    return raw(PtMultipleBinary, MultipleValueBytes(values));
}

Bytes Utf8ToUtf16Le(std::string_view utf8)
{
    Bytes out;
    out.reserve(utf8.size() * 2);
    for (size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        uint32_t cp = 0xFFFD;
        size_t len = 1;
        if (c < 0x80) {
            cp = c;
        } else if ((c & 0xE0) == 0xC0 && i + 1 < utf8.size()) {
            cp = ((c & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
            len = 2;
        } else if ((c & 0xF0) == 0xE0 && i + 2 < utf8.size()) {
            cp = ((c & 0x0F) << 12) | ((utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
            len = 3;
        } else if ((c & 0xF8) == 0xF0 && i + 3 < utf8.size()) {
            cp = ((c & 0x07) << 18) | ((utf8[i + 1] & 0x3F) << 12) | ((utf8[i + 2] & 0x3F) << 6) | (utf8[i + 3] & 0x3F);
            len = 4;
        }
        i += len;
        if (cp >= 0x10000) {
            cp -= 0x10000;
            PutU16(out, uint16_t(0xD800 | (cp >> 10)));
            PutU16(out, uint16_t(0xDC00 | (cp & 0x3FF)));
        } else {
            PutU16(out, uint16_t(cp));
        }
    }
    return out;
}

PropertyValue PropertyValue::int16(int16_t v)
{
    PropertyValue p{PtShort, {}};
    PutU16(p.data, uint16_t(v));
    return p;
}
PropertyValue PropertyValue::int32(int32_t v)
{
    PropertyValue p{PtLong, {}};
    PutU32(p.data, uint32_t(v));
    return p;
}
PropertyValue PropertyValue::int64(int64_t v)
{
    PropertyValue p{PtLongLong, {}};
    PutU64(p.data, uint64_t(v));
    return p;
}
PropertyValue PropertyValue::boolean(bool v) { return PropertyValue{PtBoolean, Bytes{uint8_t(v ? 1 : 0)}}; }
PropertyValue PropertyValue::floating(double v)
{
    uint64_t bits;
    std::memcpy(&bits, &v, 8);
    PropertyValue p{PtDouble, {}};
    PutU64(p.data, bits);
    return p;
}
PropertyValue PropertyValue::time(FileTime t)
{
    PropertyValue p{PtSysTime, {}};
    PutU64(p.data, t.value);
    return p;
}
PropertyValue PropertyValue::unicode(std::string_view utf8) { return PropertyValue{PtUnicode, Utf8ToUtf16Le(utf8)}; }
PropertyValue PropertyValue::string8(std::string_view encodedBytes)
{
    return PropertyValue{PtString8, Bytes(encodedBytes.begin(), encodedBytes.end())};
}
PropertyValue PropertyValue::binary(Bytes bytes) { return PropertyValue{PtBinary, std::move(bytes)}; }
PropertyValue PropertyValue::guid(const Guid& g) { return PropertyValue{PtGuid, Bytes(g.begin(), g.end())}; }
PropertyValue PropertyValue::raw(uint16_t type, Bytes bytes) { return PropertyValue{type, std::move(bytes)}; }

}  // namespace tolvane::pstwriter
