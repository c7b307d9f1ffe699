// Lays out heap allocations in blocks of at most 8176 bytes, each with its page map at the end.
#include "pstwriter/HeapWriter.h"

#include <stdexcept>

namespace tolvane::pstwriter {
namespace {

constexpr size_t kMaxBlock = 8176;
constexpr size_t kMaxAllocationsPerBlock = 2047;  // the HID index has 11 bits

size_t PageMapSize(size_t allocations) { return 4 + 2 * (allocations + 1); }

}  // namespace

HeapWriter::HeapWriter(uint8_t clientSignature) : clientSignature_(clientSignature) {}

size_t HeapWriter::HeaderSize(size_t blockIndex)
{
    if (blockIndex == 0)
        return 12;
    // Block 8 and every 128th block after it carry the fill-level bitmap.
    if (blockIndex >= 8 && (blockIndex - 8) % 128 == 0)
        return 66;
    return 2;
}

uint32_t HeapWriter::Allocate(std::span<const uint8_t> data)
{
    if (data.size() > kMaxAllocation)
        throw std::logic_error("heap allocation too large");
    auto fits = [&](const Block& block) {
        const size_t count = block.allocations.size() + 1;
        const size_t end = block.used + data.size();
        return count <= kMaxAllocationsPerBlock && ((end + 1) & ~size_t(1)) + PageMapSize(count) <= kMaxBlock;
    };
    if (blocks_.empty() || !fits(blocks_.back())) {
        if (blocks_.size() >= 0xFFFF)
            throw std::runtime_error("heap too large");
        Block block;
        block.used = HeaderSize(blocks_.size());
        blocks_.push_back(std::move(block));
    }
    Block& block = blocks_.back();
    block.allocations.emplace_back(data.begin(), data.end());
    block.used += data.size();
    const uint32_t blockIndex = uint32_t(blocks_.size() - 1);
    const uint32_t index = uint32_t(block.allocations.size());
    return (blockIndex << 16) | (index << 5);
}

void HeapWriter::Update(uint32_t hid, std::span<const uint8_t> data)
{
    Bytes& target = blocks_.at(hid >> 16).allocations.at(((hid >> 5) & 0x7FF) - 1);
    if (target.size() != data.size())
        throw std::logic_error("heap update changes size");
    target.assign(data.begin(), data.end());
}

std::vector<Bytes> HeapWriter::Finish() const
{
    std::vector<Bytes> out;
    const std::vector<Block> empty(1, Block{{}, 12});
    const std::vector<Block>& blocks = blocks_.empty() ? empty : blocks_;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const Block& block = blocks[b];
        Bytes bytes;
        const size_t header = HeaderSize(b);
        PutZeros(bytes, header);
        std::vector<uint16_t> offsets;
        for (const Bytes& a : block.allocations) {
            offsets.push_back(uint16_t(bytes.size()));
            PutBytes(bytes, a);
        }
        offsets.push_back(uint16_t(bytes.size()));
        if (bytes.size() % 2)
            bytes.push_back(0);
        const uint16_t pageMap = uint16_t(bytes.size());
        SetU16(bytes.data(), pageMap);
        if (b == 0) {
            bytes[2] = 0xEC;
            bytes[3] = clientSignature_;
            SetU32(bytes.data() + 4, userRoot_);
        }
        PutU16(bytes, uint16_t(block.allocations.size()));
        PutU16(bytes, 0);
        for (uint16_t offset : offsets)
            PutU16(bytes, offset);
        out.push_back(std::move(bytes));
    }
    return out;
}

uint32_t HeapWriter::BuildBTree(uint8_t keySize, uint8_t dataSize, const std::vector<Bytes>& sortedRecords,
                                uint32_t headerHid)
{
    auto place = [&](const Bytes& header) {
        if (!headerHid)
            return Allocate(header);
        Update(headerHid, header);
        return headerHid;
    };
    Bytes header(8, 0);
    header[0] = 0xB5;
    header[1] = keySize;
    header[2] = dataSize;
    if (sortedRecords.empty())
        return place(header);

    // Leaf level: records packed into allocations; index levels: first key plus HID of the child.
    struct Node {
        Bytes firstKey;
        uint32_t hid;
    };
    std::vector<Node> level;
    const size_t recordSize = keySize + dataSize;
    const size_t perLeaf = kMaxAllocation / recordSize;
    for (size_t first = 0; first < sortedRecords.size(); first += perLeaf) {
        Bytes chunk;
        const size_t n = std::min(perLeaf, sortedRecords.size() - first);
        for (size_t i = first; i < first + n; ++i)
            PutBytes(chunk, sortedRecords[i]);
        level.push_back({Bytes(sortedRecords[first].begin(), sortedRecords[first].begin() + keySize), Allocate(chunk)});
    }
    uint8_t indexLevels = 0;
    const size_t perIndex = kMaxAllocation / (keySize + 4);
    while (level.size() > 1) {
        std::vector<Node> upper;
        for (size_t first = 0; first < level.size(); first += perIndex) {
            Bytes chunk;
            const size_t n = std::min(perIndex, level.size() - first);
            for (size_t i = first; i < first + n; ++i) {
                PutBytes(chunk, level[i].firstKey);
                PutU32(chunk, level[i].hid);
            }
            upper.push_back({level[first].firstKey, Allocate(chunk)});
        }
        level = std::move(upper);
        ++indexLevels;
    }
    header[3] = indexLevels;
    SetU32(header.data() + 4, level.front().hid);
    return place(header);
}

}  // namespace tolvane::pstwriter
