// Hashing the identity of a message's content; see ItemFingerprint.h.
#include "scan/ItemFingerprint.h"

#include "scan/PffDataBlocks.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"

#include <QCryptographicHash>

#include <array>

namespace tolvane {

namespace {

// The values whose change shows in a written file's name, dates, flags or
// size. Each goes in with its type and length, so no two lists of values
// hash alike.
constexpr std::array kFingerprintTags{
    PropertyTag::MessageSize,      PropertyTag::ModificationTime, PropertyTag::MessageFlags,
    PropertyTag::MessageStatus,    PropertyTag::Subject,          PropertyTag::InternetMessageId,
    PropertyTag::DeliveryTime,     PropertyTag::ClientSubmitTime,
};

void AddNumber(QCryptographicHash& hash, quint64 value)
{
    std::array<char, 8> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    hash.addData(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

}  // namespace

QByteArray ItemFingerprintOf(libpff_item_t* item)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (const std::optional<ItemDataBlocks> blocks = DataBlocksOf(item)) {
        AddNumber(hash, blocks->data);
        AddNumber(hash, blocks->localDescriptors);
    } else {
        AddNumber(hash, 0);
        AddNumber(hash, 0);
    }
    for (const uint32_t tag : kFingerprintTags) {
        const std::optional<PropertyValue> value = ReadProperty(item, 0, tag);
        AddNumber(hash, tag);
        AddNumber(hash, value ? value->valueType : 0);
        AddNumber(hash, value ? static_cast<quint64>(value->data.size()) + 1 : 0);
        if (value)
            hash.addData(value->data);
    }
    return hash.result().left(16).toHex();
}

}  // namespace tolvane
