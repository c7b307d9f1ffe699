// Just enough of the file layout to aim damage at a chosen structure of a
// Unicode mailbox: the roots of the two B-trees and the blocks the block
// B-tree lists. Reads only; the tests overwrite the bytes themselves.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <cstring>
#include <vector>

namespace tolvane::robustness {

struct BlockSpan {
    uint64_t id = 0;
    uint64_t offset = 0;
    uint16_t size = 0;
    bool internal() const { return (id & 0x2) != 0; }
};

inline uint64_t ReadU64(const QByteArray& file, uint64_t offset)
{
    uint64_t value = 0;
    if (offset + 8 <= static_cast<uint64_t>(file.size()))
        std::memcpy(&value, file.constData() + offset, 8);
    return value;
}

inline uint32_t ReadU32(const QByteArray& file, uint64_t offset)
{
    uint32_t value = 0;
    if (offset + 4 <= static_cast<uint64_t>(file.size()))
        std::memcpy(&value, file.constData() + offset, 4);
    return value;
}

inline uint16_t ReadU16(const QByteArray& file, uint64_t offset)
{
    uint16_t value = 0;
    if (offset + 2 <= static_cast<uint64_t>(file.size()))
        std::memcpy(&value, file.constData() + offset, 2);
    return value;
}

// File offsets of the root pages of the node and the block B-trees.
inline uint64_t NodeTreeRoot(const QByteArray& file) { return ReadU64(file, 224); }
inline uint64_t BlockTreeRoot(const QByteArray& file) { return ReadU64(file, 240); }

constexpr uint64_t kPageSize = 512;

// Every page of a B-tree, root first.
inline void CollectPages(const QByteArray& file, uint64_t pageOffset, int depthLeft, std::vector<uint64_t>* pages)
{
    if (depthLeft <= 0 || pageOffset + kPageSize > static_cast<uint64_t>(file.size()))
        return;
    pages->push_back(pageOffset);
    const auto* page = reinterpret_cast<const uint8_t*>(file.constData() + pageOffset);
    const int entries = page[488];
    const int entrySize = page[490];
    const int level = page[491];
    if (level == 0 || entrySize < 24)
        return;
    for (int i = 0; i < entries && (i + 1) * entrySize <= 488; ++i)
        CollectPages(file, ReadU64(file, pageOffset + i * entrySize + 16), depthLeft - 1, pages);
}

// Every block the block B-tree lists.
inline std::vector<BlockSpan> CollectBlocks(const QByteArray& file)
{
    std::vector<uint64_t> pages;
    CollectPages(file, BlockTreeRoot(file), 8, &pages);
    std::vector<BlockSpan> blocks;
    for (uint64_t pageOffset : pages) {
        const auto* page = reinterpret_cast<const uint8_t*>(file.constData() + pageOffset);
        if (page[491] != 0)
            continue;
        const int entries = page[488];
        const int entrySize = page[490];
        for (int i = 0; i < entries && (i + 1) * entrySize <= 488; ++i) {
            const uint64_t at = pageOffset + i * entrySize;
            blocks.push_back({ReadU64(file, at), ReadU64(file, at + 8), ReadU16(file, at + 16)});
        }
    }
    return blocks;
}

}  // namespace tolvane::robustness
