// Gathers the subnodes of one node (large values, tables, attachments) and writes its subnode tree.
#pragma once

#include "pstwriter/NodeDatabaseWriter.h"

namespace tolvane::pstwriter {

class SubnodeCollector {
public:
    explicit SubnodeCollector(NodeDatabaseWriter& db) : db_(db) {}

    NodeDatabaseWriter& db() { return db_; }
    // A fresh subnode id of the given type, unique within this node.
    [[nodiscard]] uint32_t NewNid(uint8_t nidType) { return (nextIndex_++ << 5) | nidType; }
    void Add(uint32_t nid, uint64_t bidData, uint64_t bidSub = 0) { entries_.push_back({nid, bidData, bidSub}); }
    // Stores a value too large for the heap in its own subnode and returns that subnode's id.
    [[nodiscard]] uint32_t StoreValue(std::span<const uint8_t> data)
    {
        const uint32_t nid = NewNid(0x1F);
        Add(nid, db_.WriteData(data));
        return nid;
    }
    // The subnode tree's BID (0 when the node has no subnodes).
    [[nodiscard]] uint64_t Write() { return db_.WriteSubnodes(entries_); }

private:
    NodeDatabaseWriter& db_;
    uint32_t nextIndex_ = 0x400;
    std::vector<SubnodeEntry> entries_;
};

}  // namespace tolvane::pstwriter
