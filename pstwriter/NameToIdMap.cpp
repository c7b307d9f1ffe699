// Entry stream (8 bytes per name), GUID stream, string stream and hash buckets of the name-to-id map.
#include "pstwriter/NameToIdMap.h"

#include "pstwriter/PropertyTags.h"
#include "pstwriter/PstChecksums.h"

#include <stdexcept>

namespace tolvane::pstwriter {
namespace {

constexpr uint32_t kBucketCount = 251;

}  // namespace

uint16_t NameToIdMap::IdFor(const NamedPropertyKey& key)
{
    auto it = ids_.find(key);
    if (it != ids_.end())
        return it->second;
    if (order_.size() >= 0x7FFE)
        throw std::runtime_error("too many named properties");
    const uint16_t id = uint16_t(0x8000 + order_.size());
    ids_.emplace(key, id);
    order_.push_back(key);
    return id;
}

PropertyMap NameToIdMap::ToProperties() const
{
    Bytes guids, entries, strings;
    std::vector<Guid> guidList;
    std::vector<Bytes> buckets(kBucketCount);
    for (size_t i = 0; i < order_.size(); ++i) {
        const NamedPropertyKey& key = order_[i];
        uint16_t guidIndex;
        if (key.propertySet == propsets::Mapi) {
            guidIndex = 1;
        } else if (key.propertySet == propsets::PublicStrings) {
            guidIndex = 2;
        } else {
            size_t g = 0;
            while (g < guidList.size() && guidList[g] != key.propertySet)
                ++g;
            if (g == guidList.size()) {
                guidList.push_back(key.propertySet);
                PutBytes(guids, key.propertySet);
            }
            guidIndex = uint16_t(3 + g);
        }
        const bool isString = !key.name.empty();
        uint32_t identifier = key.lid;
        uint32_t hashBase = key.lid;
        if (isString) {
            const Bytes name = Utf8ToUtf16Le(key.name);
            identifier = uint32_t(strings.size());
            PutU32(strings, uint32_t(name.size()));
            PutBytes(strings, name);
            while (strings.size() % 4)
                strings.push_back(0);
            hashBase = ComputeCrc(name.data(), name.size());
        }
        const uint16_t guidAndKind = uint16_t((guidIndex << 1) | (isString ? 1 : 0));
        Bytes entry;
        PutU32(entry, identifier);
        PutU16(entry, guidAndKind);
        PutU16(entry, uint16_t(i));
        PutBytes(entries, entry);
        // Bucket entries carry the name's checksum instead of its string-stream offset.
        Bytes hashed;
        PutU32(hashed, hashBase);
        PutU16(hashed, guidAndKind);
        PutU16(hashed, uint16_t(i));
        PutBytes(buckets[(hashBase ^ guidAndKind) % kBucketCount], hashed);
    }
    PropertyMap properties;
    properties[0x0001] = PropertyValue::int32(int32_t(kBucketCount));
    properties[0x0002] = PropertyValue::binary(guids);
    properties[0x0003] = PropertyValue::binary(entries);
    properties[0x0004] = PropertyValue::binary(strings);
    for (uint32_t b = 0; b < kBucketCount; ++b)
        if (!buckets[b].empty())
            properties[uint16_t(0x1000 + b)] = PropertyValue::binary(buckets[b]);
    return properties;
}

}  // namespace tolvane::pstwriter
