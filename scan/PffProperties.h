// Reading one property of a libpff item by its raw value, and turning it into
// text, numbers or times by our own decoders. Used by the scan and by the
// conversion, which re-reads whole messages.
//
// Why not libpff's own typed getters: the library's string conversion garbles
// strings that start with a non-ASCII character and mis-decodes surrogate
// pairs, so every string goes through the raw bytes here.
#pragma once

#include "model/ItemRecords.h"
#include "scan/PffHandles.h"
#include "scan/PropertyTags.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <optional>
#include <vector>

namespace tolvane {

// Property value types as stored in the file.
namespace PropertyType {
inline constexpr uint32_t Integer16 = 0x0002;
inline constexpr uint32_t Integer32 = 0x0003;
inline constexpr uint32_t Boolean = 0x000B;
inline constexpr uint32_t Integer64 = 0x0014;
inline constexpr uint32_t String8 = 0x001E;
inline constexpr uint32_t Unicode = 0x001F;
inline constexpr uint32_t Time = 0x0040;
inline constexpr uint32_t Binary = 0x0102;
inline constexpr uint32_t MultipleString8 = 0x101E;
inline constexpr uint32_t MultipleUnicode = 0x101F;
}  // namespace PropertyType

// How a property number at or above 0x8000 is looked up.
enum class NamedLookup {
    Mapped,  // through the file's name-to-id map, as libpff does by default
    Raw,     // the number as stored in the record, map ignored
};

struct PropertyValue {
    uint32_t valueType = 0;
    QByteArray data;
};

// The tags of the reads that failed, as opposed to values that are simply not
// there. Readers that must not pass off a damaged item as complete (the
// conversion) hand one in; the scan, which records what it can, does not.
struct ReadFailures {
    std::vector<uint32_t> tags;
    void Note(uint32_t tag) { tags.push_back(tag); }
    bool empty() const { return tags.empty(); }
};

// The type and the bytes of one record entry; nullopt when they cannot be read.
std::optional<PropertyValue> EntryValue(libpff_record_entry_t* entry);

// One property of record set `setIndex` (0 for the item itself; one set per
// recipient in a recipients item). nullopt when absent or unreadable.
std::optional<PropertyValue> ReadProperty(libpff_item_t* item, int setIndex, uint32_t entryType,
                                          NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);

// Text of a string property: Unicode values as UTF-16LE, 8-bit values in
// `codePage`. Trailing terminators are dropped. nullopt when absent or not a
// string.
std::optional<QString> ReadString(libpff_item_t* item, int setIndex, uint32_t entryType, int codePage,
                                  NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);

// The same for a message's own property (set 0): 8-bit values are decoded in
// the message's code page, else in `fileCodePage`.
std::optional<QString> ReadMessageString(libpff_item_t* item, uint32_t entryType, int fileCodePage,
                                         NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);

std::optional<uint32_t> Read32(libpff_item_t* item, int setIndex, uint32_t entryType,
                               NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);
std::optional<uint64_t> Read64(libpff_item_t* item, int setIndex, uint32_t entryType,
                               NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);
std::optional<bool> ReadBoolean(libpff_item_t* item, int setIndex, uint32_t entryType,
                                NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);
std::optional<uint64_t> ReadFiletime(libpff_item_t* item, int setIndex, uint32_t entryType,
                                     NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);
std::optional<QByteArray> ReadBinary(libpff_item_t* item, int setIndex, uint32_t entryType,
                                     NamedLookup lookup = NamedLookup::Mapped, ReadFailures* failures = nullptr);
// A FILETIME property as the record's time value; nullopt when it is missing.
std::optional<FileTime> ReadFileTime(libpff_item_t* item, int setIndex, uint32_t entryType);

// The subject (0x0037) without the two-character prefix marker (0x01 and a
// length character) that stored subjects may begin with; nullopt when absent.
std::optional<QString> ReadSubject(libpff_item_t* message, int fileCodePage, ReadFailures* failures = nullptr);

// A named property by its property set and its name or number there (the
// name-to-id map's entries), of record set `setIndex`. nullopt when absent.
std::optional<PropertyValue> ReadNamedProperty(libpff_item_t* item, int setIndex, const NamedProperty& property,
                                               ReadFailures* failures = nullptr);

// The values of a multi-valued property of variable size (strings, binary):
// a count, one offset per value, then the values; empty when malformed.
QVector<QByteArray> SplitMultiValue(const QByteArray& data);

// The strings of a multi-valued string property (Unicode or 8-bit in
// `codePage`); empty for other types or a malformed value.
QStringList DecodeMultiStringValue(const PropertyValue& value, int codePage);

// Decodes a raw string value (Unicode or 8-bit); nullopt for other types.
std::optional<QString> DecodeStringValue(const PropertyValue& value, int codePage);

// The message's code page (0x3FFD), else `fallback`.
int MessageCodePage(libpff_item_t* item, int fallback);
// The message's internet code page (0x3FDE), else its message code page, else `fallback`.
int InternetCodePage(libpff_item_t* item, int fallback);

// A message body, decoded. `storedSize` is the number of bytes the body takes
// as 8-bit or binary data, or as UTF-8 for a Unicode string.
struct MessageBody {
    QByteArray utf8;  // the decoded text as UTF-8
    qsizetype storedSize = 0;
    QString text() const { return utf8.isEmpty() ? QString(u""_qs) : QString::fromUtf8(utf8); }
};

// The HTML body (0x1013), decoded with the internet code page, else the
// message code page, else `fileCodePage`.
std::optional<MessageBody> ReadHtmlBody(libpff_item_t* message, int fileCodePage, ReadFailures* failures = nullptr);
// The plain-text body (0x1000), 8-bit values in the message code page.
std::optional<MessageBody> ReadPlainTextBody(libpff_item_t* message, int fileCodePage,
                                             ReadFailures* failures = nullptr);
// The stored (compressed or uncompressed) RTF body (0x1009) as bytes, not decoded.
std::optional<QByteArray> ReadRtfBodyStored(libpff_item_t* message, ReadFailures* failures = nullptr);
bool HasRtfBody(libpff_item_t* message);

}  // namespace tolvane
