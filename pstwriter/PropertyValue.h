// A typed property value in its stored byte form, plus the text and time conversions tests need.
#pragma once

#include "pstwriter/PstBytes.h"

#include <array>
#include <chrono>
#include <map>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

namespace tolvane::pstwriter {

enum PropertyType : uint16_t {
    PtShort = 0x0002,
    PtLong = 0x0003,
    PtFloat = 0x0004,
    PtDouble = 0x0005,
    PtCurrency = 0x0006,
    PtAppTime = 0x0007,
    PtError = 0x000A,
    PtBoolean = 0x000B,
    PtObject = 0x000D,
    PtLongLong = 0x0014,
    PtString8 = 0x001E,
    PtUnicode = 0x001F,
    PtSysTime = 0x0040,
    PtGuid = 0x0048,
    PtBinary = 0x0102,
    PtMultipleUnicode = 0x101F,
    PtMultipleBinary = 0x1102,
};

constexpr uint32_t MakeTag(uint16_t id, uint16_t type) { return (uint32_t(id) << 16) | type; }
constexpr uint16_t TagId(uint32_t tag) { return uint16_t(tag >> 16); }
constexpr uint16_t TagType(uint32_t tag) { return uint16_t(tag & 0xFFFF); }

// True for types whose values live in the row or property entry itself rather than in the heap.
bool IsFixedSizeType(uint16_t type);
// Size in bytes of a fixed-size type (0 for variable-size types).
size_t FixedTypeSize(uint16_t type);

// A FILETIME: 100-nanosecond intervals since 1601-01-01 UTC.
struct FileTime {
    uint64_t value = 0;
    static FileTime fromUnixSeconds(int64_t seconds);
};

using Guid = std::array<uint8_t, 16>;
// Parses "00062004-0000-0000-C000-000000000046" into its stored (mixed-endian) byte form.
Guid ParseGuid(std::string_view text);

struct PropertyValue {
    uint16_t type = PtBinary;
    Bytes data;  // exactly as stored: little-endian numbers, UTF-16LE text without terminator

    static PropertyValue int16(int16_t v);
    static PropertyValue int32(int32_t v);
    static PropertyValue int64(int64_t v);
    static PropertyValue boolean(bool v);
    static PropertyValue floating(double v);
    static PropertyValue time(FileTime t);
    static PropertyValue unicode(std::string_view utf8);
    static PropertyValue string8(std::string_view encodedBytes);
    static PropertyValue binary(Bytes bytes);
    static PropertyValue guid(const Guid& g);
    static PropertyValue raw(uint16_t type, Bytes bytes);
    // Several strings in one value: a count, one offset per string, then the UTF-16LE strings.
    static PropertyValue multipleUnicode(const std::vector<std::string>& utf8Strings);
    // Several binary values in one, in the same layout.
    static PropertyValue multipleBinary(const std::vector<Bytes>& values);

    bool operator==(const PropertyValue&) const = default;
};

Bytes Utf8ToUtf16Le(std::string_view utf8);

// Properties keyed by their 16-bit id; the value carries the type.
using PropertyMap = std::map<uint16_t, PropertyValue>;

// A named property: a property set GUID and either a numeric id (LID) or a name.
struct NamedPropertyKey {
    Guid propertySet{};
    uint32_t lid = 0;
    std::string name;  // used instead of lid when not empty
    bool operator<(const NamedPropertyKey& other) const
    {
        return std::tie(propertySet, name, lid) < std::tie(other.propertySet, other.name, other.lid);
    }
    bool operator==(const NamedPropertyKey&) const = default;
};

}  // namespace tolvane::pstwriter
