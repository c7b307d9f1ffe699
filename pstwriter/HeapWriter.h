// Heap-on-node and B-tree-on-heap: the allocation layer under property and table contexts.
#pragma once

#include "pstwriter/PstBytes.h"

#include <utility>
#include <vector>

namespace tolvane::pstwriter {

class HeapWriter {
public:
    // Largest value kept on the heap; callers store anything bigger in a subnode of their own.
    static constexpr size_t kMaxAllocation = 3580;
    // The client signature tells readers whether the heap holds a property or a table context.
    static constexpr uint8_t kClientPropertyContext = 0xBC;
    static constexpr uint8_t kClientTableContext = 0x7C;

    explicit HeapWriter(uint8_t clientSignature);

    // Returns the HID of a new allocation (at most kMaxAllocation bytes).
    [[nodiscard]] uint32_t Allocate(std::span<const uint8_t> data);
    // Replaces an allocation's bytes; the size must not change.
    void Update(uint32_t hid, std::span<const uint8_t> data);
    void setUserRoot(uint32_t hid) { userRoot_ = hid; }

    // The heap's blocks, ready to be stored as the node's data (one block or a data tree).
    [[nodiscard]] std::vector<Bytes> Finish() const;

    // Builds a B-tree-on-heap over records sorted by key; each record is key bytes followed by data
    // bytes. Returns the HID of the BTHHEADER; headerHid, when given, is an 8-byte allocation made
    // earlier to hold it (so the header can precede the records, as in files written by mail clients).
    [[nodiscard]] uint32_t BuildBTree(uint8_t keySize, uint8_t dataSize,
                                      const std::vector<Bytes>& sortedRecords, uint32_t headerHid = 0);

private:
    struct Block {
        std::vector<Bytes> allocations;
        size_t used = 0;  // header plus allocation bytes
    };
    static size_t HeaderSize(size_t blockIndex);

    uint8_t clientSignature_;
    uint32_t userRoot_ = 0;
    std::vector<Block> blocks_;
};

}  // namespace tolvane::pstwriter
