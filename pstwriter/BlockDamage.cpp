// Reads the block's bytes, spoils them as asked and writes them back at the same offset.
#include "pstwriter/BlockDamage.h"

#include "pstwriter/UniqueFile.h"

#include <algorithm>
#include <stdexcept>

namespace tolvane::pstwriter {
namespace {

constexpr uint64_t kTrailerSize = 16;

}  // namespace

void DamageBlock(const std::string& path, const BlockExtent& block, BlockDamage how)
{
    UniqueFile file(std::fopen(path.c_str(), "r+b"));
    if (!file)
        throw std::runtime_error("cannot open " + path);
    Bytes bytes(block.size);
    if (std::fseek(file.get(), long(block.offset), SEEK_SET) != 0 ||
        std::fread(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw std::runtime_error("cannot read block in " + path);
    if (how == BlockDamage::Zeroed) {
        std::fill(bytes.begin(), bytes.end(), 0);
    } else {
        // Only the bytes the trailer says are data: the padding after them is not covered by the checksum.
        const size_t dataSize = GetU16(bytes.data() + bytes.size() - kTrailerSize);
        for (size_t i = 0; i < dataSize && i < bytes.size() - kTrailerSize; ++i)
            bytes[i] = uint8_t(~bytes[i]);
    }
    if (std::fseek(file.get(), long(block.offset), SEEK_SET) != 0 ||
        std::fwrite(bytes.data(), 1, bytes.size(), file.get()) != bytes.size())
        throw std::runtime_error("cannot write block in " + path);
    if (std::fclose(file.release()) != 0)
        throw std::runtime_error("cannot write block in " + path);
}

}  // namespace tolvane::pstwriter
