// Checksums, block signatures and the byte permutation ("compressible" encoding) of the PST file format.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tolvane::pstwriter {

// How data blocks are stored; the value is the header's bCryptMethod.
enum class BlockEncoding : uint8_t { None = 0, Compressible = 1 };

// The content type at offset 8 of the header: a personal folders file ("SM")
// or a mail client's offline cache of a server mailbox ("SO"), which has the
// same structure.
enum class ContentType : uint16_t { PersonalFolders = 0x4D53, OfflineCache = 0x4F53 };

// CRC-32 (reflected polynomial 0xEDB88320) without pre- or post-inversion, as the file format uses it
// for the header, page trailers, block trailers and compressed RTF.
uint32_t ComputeCrc(const void* data, size_t size, uint32_t crc = 0);

// The 16-bit signature of a page or block trailer, derived from its file offset and BID.
uint16_t ComputeBlockSignature(uint64_t ib, uint64_t bid);

// Applies / reverses the byte substitution of the "compressible" encoding in place.
void EncodeCompressible(uint8_t* data, size_t size);
void DecodeCompressible(uint8_t* data, size_t size);

}  // namespace tolvane::pstwriter
