// Little-endian byte assembly for the on-disk structures the PST writer produces.
#pragma once

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace tolvane::pstwriter {

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& out, uint8_t v) { out.push_back(v); }
inline void PutU16(Bytes& out, uint16_t v)
{
    out.push_back(uint8_t(v));
    out.push_back(uint8_t(v >> 8));
}
inline void PutU32(Bytes& out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}
inline void PutU64(Bytes& out, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(uint8_t(v >> (8 * i)));
}
inline void PutBytes(Bytes& out, std::span<const uint8_t> v) { out.insert(out.end(), v.begin(), v.end()); }
inline void PutZeros(Bytes& out, size_t n) { out.insert(out.end(), n, 0); }

inline void SetU16(uint8_t* at, uint16_t v)
{
    at[0] = uint8_t(v);
    at[1] = uint8_t(v >> 8);
}
inline void SetU32(uint8_t* at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = uint8_t(v >> (8 * i));
}
inline void SetU64(uint8_t* at, uint64_t v)
{
    for (int i = 0; i < 8; ++i)
        at[i] = uint8_t(v >> (8 * i));
}
inline uint16_t GetU16(const uint8_t* at) { return uint16_t(at[0] | (at[1] << 8)); }
inline uint32_t GetU32(const uint8_t* at)
{
    return uint32_t(at[0]) | (uint32_t(at[1]) << 8) | (uint32_t(at[2]) << 16) | (uint32_t(at[3]) << 24);
}
inline uint64_t GetU64(const uint8_t* at) { return uint64_t(GetU32(at)) | (uint64_t(GetU32(at + 4)) << 32); }

}  // namespace tolvane::pstwriter
