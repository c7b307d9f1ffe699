// Raw property access through libpff record sets and entries.
#include "scan/PffProperties.h"

#include "scan/PropertyTags.h"
#include "scan/ScanTexts.h"
#include "scan/TextDecoding.h"

#include <QtEndian>

#include <cstring>

namespace tolvane {

namespace {

uint8_t LookupFlags(NamedLookup lookup)
{
    uint8_t flags = LIBPFF_ENTRY_VALUE_FLAG_MATCH_ANY_VALUE_TYPE;
    if (lookup == NamedLookup::Raw)
        flags |= LIBPFF_ENTRY_VALUE_FLAG_IGNORE_NAME_TO_ID_MAP;
    return flags;
}

QString StripTerminators(QString text)
{
    while (!text.isEmpty() && text.back() == QChar(0))
        text.chop(1);
    return text;
}

std::optional<int> PositiveCodePage(libpff_item_t* item, uint32_t entryType)
{
    const auto value = Read32(item, 0, entryType);
    if (!value || *value == 0 || *value > 0xFFFF)
        return std::nullopt;
    return static_cast<int>(*value);
}

}  // namespace

std::optional<PropertyValue> EntryValue(libpff_record_entry_t* entry)
{
    PropertyValue value;
    size_t size = 0;
    if (libpff_record_entry_get_value_type(entry, &value.valueType, nullptr) != 1
        || libpff_record_entry_get_data_size(entry, &size, nullptr) != 1 || size > static_cast<size_t>(0x7FFFFFFF))
        return std::nullopt;
    if (size > 0) {
        value.data.resize(static_cast<qsizetype>(size));
        if (libpff_record_entry_get_data(entry, reinterpret_cast<uint8_t*>(value.data.data()), size, nullptr) != 1)
            return std::nullopt;
    }
    return value;
}

std::optional<PropertyValue> ReadProperty(libpff_item_t* item, int setIndex, uint32_t entryType, NamedLookup lookup,
                                          ReadFailures* failures)
{
    if (item == nullptr || setIndex < 0)
        return std::nullopt;
    auto failed = [&]() -> std::optional<PropertyValue> {
        if (failures)
            failures->Note(entryType);
        return std::nullopt;
    };
    PffRecordSet recordSet;
    if (libpff_item_get_record_set_by_index(item, setIndex, recordSet.out(), nullptr) != 1)
        return failed();
    PffRecordEntry entry;
    // A fixed tag is matched by its own number only: a named property whose
    // number in its set happens to be the same must not stand in for it.
    const NamedLookup effective = entryType < 0x8000 ? NamedLookup::Raw : lookup;
    const int found = libpff_record_set_get_entry_by_type(recordSet.get(), entryType, 0, entry.out(),
                                                          LookupFlags(effective), nullptr);
    if (found == 0)
        return std::nullopt;
    if (found != 1)
        return failed();
    if (auto value = EntryValue(entry.get()))
        return value;
    return failed();
}

std::optional<PropertyValue> ReadNamedProperty(libpff_item_t* item, int setIndex, const NamedProperty& property,
                                               ReadFailures* failures)
{
    if (item == nullptr || setIndex < 0)
        return std::nullopt;
    auto failed = [&]() -> std::optional<PropertyValue> {
        if (failures)
            failures->Note(0);
        return std::nullopt;
    };
    PffRecordSet recordSet;
    int entries = 0;
    if (libpff_item_get_record_set_by_index(item, setIndex, recordSet.out(), nullptr) != 1
        || libpff_record_set_get_number_of_entries(recordSet.get(), &entries, nullptr) != 1)
        return failed();
    const bool byName = property.name != nullptr;
    const QByteArray wantedName = byName ? QByteArray(property.name) : QByteArray();
    for (int index = 0; index < entries; ++index) {
        PffRecordEntry entry;
        if (libpff_record_set_get_entry_by_index(recordSet.get(), index, entry.out(), nullptr) != 1)
            continue;
        // Owned by the entry; no reference of our own to release.
        libpff_name_to_id_map_entry_t* name = nullptr;
        uint8_t nameType = 0;
        uint8_t guid[16] = {};
        if (libpff_record_entry_get_name_to_id_map_entry(entry.get(), &name, nullptr) != 1 || name == nullptr
            || libpff_name_to_id_map_entry_get_type(name, &nameType, nullptr) != 1
            || libpff_name_to_id_map_entry_get_guid(name, guid, sizeof guid, nullptr) != 1
            || std::memcmp(guid, property.propertySet, sizeof guid) != 0)
            continue;
        if (byName) {
            size_t nameSize = 0;
            if (nameType != LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_STRING
                || libpff_name_to_id_map_entry_get_utf8_string_size(name, &nameSize, nullptr) != 1
                || nameSize != static_cast<size_t>(wantedName.size()) + 1)
                continue;
            QByteArray nameText(static_cast<qsizetype>(nameSize), '\0');
            if (libpff_name_to_id_map_entry_get_utf8_string(name, reinterpret_cast<uint8_t*>(nameText.data()),
                                                            nameSize, nullptr) != 1)
                continue;
            nameText.chop(1);
            if (nameText != wantedName)
                continue;
        } else {
            uint32_t number = 0;
            if (nameType != LIBPFF_NAME_TO_ID_MAP_ENTRY_TYPE_NUMERIC
                || libpff_name_to_id_map_entry_get_number(name, &number, nullptr) != 1 || number != property.number)
                continue;
        }
        if (auto value = EntryValue(entry.get()))
            return value;
        return failed();
    }
    return std::nullopt;
}

QVector<QByteArray> SplitMultiValue(const QByteArray& data)
{
    QVector<QByteArray> values;
    if (data.size() < 4)
        return values;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    const quint32 count = qFromLittleEndian<quint32>(bytes);
    if (count == 0 || count > static_cast<quint32>((data.size() - 4) / 4))
        return values;
    for (quint32 n = 0; n < count; ++n) {
        const quint32 begin = qFromLittleEndian<quint32>(bytes + 4 + 4 * n);
        const quint32 end = n + 1 < count ? qFromLittleEndian<quint32>(bytes + 8 + 4 * n)
                                          : static_cast<quint32>(data.size());
        if (begin > end || end > static_cast<quint32>(data.size()))
            return {};
        values << data.mid(begin, end - begin);
    }
    return values;
}

QStringList DecodeMultiStringValue(const PropertyValue& value, int codePage)
{
    QStringList strings;
    const bool unicode = value.valueType == PropertyType::MultipleUnicode;
    if (!unicode && value.valueType != PropertyType::MultipleString8)
        return strings;
    for (const QByteArray& one : SplitMultiValue(value.data))
        strings << DecodeStringValue(PropertyValue{unicode ? PropertyType::Unicode : PropertyType::String8, one},
                                     codePage)
                       .value_or(QString());
    return strings;
}

std::optional<QString> DecodeStringValue(const PropertyValue& value, int codePage)
{
    switch (value.valueType) {
    case PropertyType::Unicode:
        return StripTerminators(DecodeUtf16Le(value.data));
    case PropertyType::String8: {
        QByteArray bytes = value.data;
        while (!bytes.isEmpty() && bytes.back() == '\0')
            bytes.chop(1);
        return StripTerminators(DecodeCodePage(bytes, codePage));
    }
    default:
        return std::nullopt;
    }
}

std::optional<QString> ReadString(libpff_item_t* item, int setIndex, uint32_t entryType, int codePage,
                                  NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, setIndex, entryType, lookup, failures);
    if (!value)
        return std::nullopt;
    return DecodeStringValue(*value, codePage);
}

std::optional<QString> ReadMessageString(libpff_item_t* item, uint32_t entryType, int fileCodePage,
                                         NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, 0, entryType, lookup, failures);
    if (!value)
        return std::nullopt;
    const int codePage = value->valueType == PropertyType::String8 ? MessageCodePage(item, fileCodePage) : fileCodePage;
    return DecodeStringValue(*value, codePage);
}

std::optional<QString> ReadSubject(libpff_item_t* message, int fileCodePage, ReadFailures* failures)
{
    if (const auto subject =
            ReadMessageString(message, PropertyTag::Subject, fileCodePage, NamedLookup::Mapped, failures))
        return SubjectWithoutPrefixMarker(*subject);
    return std::nullopt;
}

std::optional<uint32_t> Read32(libpff_item_t* item, int setIndex, uint32_t entryType, NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, setIndex, entryType, lookup, failures);
    if (!value)
        return std::nullopt;
    const auto* data = reinterpret_cast<const uchar*>(value->data.constData());
    if (value->valueType == PropertyType::Integer32 && value->data.size() >= 4)
        return qFromLittleEndian<uint32_t>(data);
    if (value->valueType == PropertyType::Integer16 && value->data.size() >= 2)
        return static_cast<uint32_t>(static_cast<int32_t>(qFromLittleEndian<int16_t>(data)));
    return std::nullopt;
}

std::optional<uint64_t> Read64(libpff_item_t* item, int setIndex, uint32_t entryType, NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, setIndex, entryType, lookup, failures);
    if (!value || value->data.size() < 8)
        return std::nullopt;
    if (value->valueType != PropertyType::Integer64 && value->valueType != PropertyType::Time)
        return std::nullopt;
    return qFromLittleEndian<uint64_t>(reinterpret_cast<const uchar*>(value->data.constData()));
}

std::optional<bool> ReadBoolean(libpff_item_t* item, int setIndex, uint32_t entryType, NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, setIndex, entryType, lookup, failures);
    if (!value || value->valueType != PropertyType::Boolean || value->data.isEmpty())
        return std::nullopt;
    for (char byte : value->data) {
        if (byte != 0)
            return true;
    }
    return false;
}

std::optional<uint64_t> ReadFiletime(libpff_item_t* item, int setIndex, uint32_t entryType, NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, setIndex, entryType, lookup, failures);
    if (!value || value->valueType != PropertyType::Time || value->data.size() < 8)
        return std::nullopt;
    return qFromLittleEndian<uint64_t>(reinterpret_cast<const uchar*>(value->data.constData()));
}

std::optional<FileTime> ReadFileTime(libpff_item_t* item, int setIndex, uint32_t entryType)
{
    if (const auto ticks = ReadFiletime(item, setIndex, entryType))
        return FileTime{*ticks};
    return std::nullopt;
}

std::optional<QByteArray> ReadBinary(libpff_item_t* item, int setIndex, uint32_t entryType, NamedLookup lookup, ReadFailures* failures)
{
    const auto value = ReadProperty(item, setIndex, entryType, lookup, failures);
    if (!value || value->valueType != PropertyType::Binary)
        return std::nullopt;
    return value->data;
}

int MessageCodePage(libpff_item_t* item, int fallback)
{
    return PositiveCodePage(item, PropertyTag::MessageCodePage).value_or(fallback);
}

int InternetCodePage(libpff_item_t* item, int fallback)
{
    if (const auto internet = PositiveCodePage(item, PropertyTag::InternetCodePage))
        return *internet;
    return MessageCodePage(item, fallback);
}

namespace {

// A body property: Unicode values are UTF-16LE; 8-bit and binary values are
// decoded with the given code page (trailing terminators dropped).
std::optional<MessageBody> ReadBody(libpff_item_t* message, uint32_t entryType, int codePage, ReadFailures* failures)
{
    auto value = ReadProperty(message, 0, entryType, NamedLookup::Mapped, failures);
    if (!value)
        return std::nullopt;
    MessageBody body;
    if (value->valueType == PropertyType::Unicode) {
        body.utf8 = StripTerminators(DecodeUtf16Le(value->data)).toUtf8();
        body.storedSize = body.utf8.size();
    } else if (value->valueType == PropertyType::String8 || value->valueType == PropertyType::Binary) {
        QByteArray bytes = value->data;
        while (!bytes.isEmpty() && bytes.back() == '\0')
            bytes.chop(1);
        body.storedSize = bytes.size();
        // Valid UTF-8 without a byte-order mark is already the text's UTF-8
        // form: most HTML bodies, and no round trip through UTF-16 for them.
        if (codePage == 65001 && QByteArrayView(bytes).isValidUtf8() && !bytes.startsWith("\xEF\xBB\xBF"))
            body.utf8 = std::move(bytes);
        else
            body.utf8 = DecodeCodePage(bytes, codePage).toUtf8();
    } else {
        return std::nullopt;
    }
    return body;
}

}  // namespace

std::optional<MessageBody> ReadHtmlBody(libpff_item_t* message, int fileCodePage, ReadFailures* failures)
{
    return ReadBody(message, PropertyTag::HtmlBody, InternetCodePage(message, fileCodePage), failures);
}

std::optional<MessageBody> ReadPlainTextBody(libpff_item_t* message, int fileCodePage, ReadFailures* failures)
{
    return ReadBody(message, PropertyTag::PlainTextBody, MessageCodePage(message, fileCodePage), failures);
}

std::optional<QByteArray> ReadRtfBodyStored(libpff_item_t* message, ReadFailures* failures)
{
    return ReadBinary(message, 0, PropertyTag::RtfCompressed, NamedLookup::Mapped, failures);
}

bool HasRtfBody(libpff_item_t* message)
{
    return ReadProperty(message, 0, PropertyTag::RtfCompressed).has_value();
}

}  // namespace tolvane
