// The compressed-RTF header is four 32-bit fields: size after the first field, raw size, type, CRC.
#include "pstwriter/CompressedRtf.h"

#include "pstwriter/PstChecksums.h"

namespace tolvane::pstwriter {
namespace {

constexpr uint32_t kTypeCompressed = 0x75465A4C;  // "LZFu"
constexpr uint32_t kTypeUncompressed = 0x414C454D;  // "MELA"
constexpr size_t kDictionarySize = 4096;
constexpr size_t kPresetLength = 207;  // length of the dictionary's initial text

Bytes Header(uint32_t payloadSize, uint32_t rawSize, uint32_t type, uint32_t crc)
{
    Bytes out;
    PutU32(out, payloadSize + 12);
    PutU32(out, rawSize);
    PutU32(out, type);
    PutU32(out, crc);
    return out;
}

}  // namespace

Bytes CompressRtf(std::string_view rtf)
{
    Bytes payload;
    size_t position = 0;
    size_t writeOffset = kPresetLength;  // where the next byte lands in the dictionary
    bool ended = false;
    while (!ended) {
        const size_t controlAt = payload.size();
        payload.push_back(0);
        for (int token = 0; token < 8; ++token) {
            if (position < rtf.size()) {
                payload.push_back(uint8_t(rtf[position++]));
                writeOffset = (writeOffset + 1) % kDictionarySize;
                continue;
            }
            // End marker: a reference to the current write offset.
            payload[controlAt] |= uint8_t(1 << token);
            const uint16_t reference = uint16_t(writeOffset << 4);
            payload.push_back(uint8_t(reference >> 8));
            payload.push_back(uint8_t(reference));
            ended = true;
            break;
        }
    }
    Bytes out = Header(uint32_t(payload.size()), uint32_t(rtf.size()), kTypeCompressed,
                       ComputeCrc(payload.data(), payload.size()));
    PutBytes(out, payload);
    return out;
}

Bytes WrapUncompressedRtf(std::string_view rtf)
{
    Bytes out = Header(uint32_t(rtf.size()), uint32_t(rtf.size()), kTypeUncompressed, 0);
    out.insert(out.end(), rtf.begin(), rtf.end());
    return out;
}

}  // namespace tolvane::pstwriter
