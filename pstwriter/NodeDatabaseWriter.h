// The node and block layer of a Unicode PST file: blocks with trailers, data trees, subnode trees,
// the node and block B-trees, allocation maps and the header. Blocks are written to disk as they come;
// only one small entry per block and per node is kept until Finish() builds the B-trees.
// A file can also be left as a mail client leaves it after deleting without compacting: freed blocks
// keep their bytes but lose their allocation-map bits, and their B-tree entries (and those of removed
// nodes) survive in the unused tail of live B-tree pages and in superseded pages that still list them,
// which lie in free space (those of freed blocks right after the blocks).
#pragma once

#include "pstwriter/PstBytes.h"
#include "pstwriter/PstChecksums.h"
#include "pstwriter/UniqueFile.h"

#include <string>
#include <vector>

namespace tolvane::pstwriter {

// One entry of a node's subnode tree.
struct SubnodeEntry {
    uint32_t nid = 0;
    uint64_t bidData = 0;
    uint64_t bidSub = 0;
};

// Where one block lies in the file, trailer included, so damage tests can overwrite it.
struct BlockExtent {
    uint64_t bid = 0;
    uint64_t offset = 0;
    uint64_t size = 0;
};

class NodeDatabaseWriter {
public:
    // Most data one block carries (an 8 KiB block less its trailer); larger data becomes a data tree.
    static constexpr size_t kMaxBlockData = 8176;

    // Throws std::runtime_error when the file cannot be created.
    NodeDatabaseWriter(const std::string& path, BlockEncoding encoding,
                       ContentType contentType = ContentType::PersonalFolders);
    NodeDatabaseWriter(const NodeDatabaseWriter&) = delete;
    NodeDatabaseWriter& operator=(const NodeDatabaseWriter&) = delete;

    // A data block of at most kMaxBlockData bytes, encoded as the file's encoding requires.
    [[nodiscard]] uint64_t WriteDataBlock(std::span<const uint8_t> data);
    // Any amount of data: one block, or a data tree (XBLOCK / XXBLOCK) of full blocks.
    [[nodiscard]] uint64_t WriteData(std::span<const uint8_t> data);
    // Pre-cut pieces (heap blocks, table row blocks) as one data tree, one block per piece.
    [[nodiscard]] uint64_t WriteBlocks(const std::vector<Bytes>& pieces);
    // The subnode tree (SLBLOCK / SIBLOCK) for these entries; 0 when there are none.
    [[nodiscard]] uint64_t WriteSubnodes(std::vector<SubnodeEntry> entries);

    void AddNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent);
    // A node entry that is no longer in the node B-tree but still lies in the unused tail of one of its
    // pages, as removing it without rewriting the page leaves it. May share its id with a live node.
    void AddStaleNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent);

    // How many blocks have been written so far: a mark for FreeBlocksFrom.
    size_t blockCount() const { return blocks_.size(); }
    // Frees every block written since the mark: their bytes stay, their allocation-map bits are cleared,
    // their entries survive in live page tails and in superseded leaf pages written (and freed) right
    // after them. Returns where the blocks lie, in write order.
    std::vector<BlockExtent> FreeBlocksFrom(size_t mark);

    // Builds the B-trees and allocation maps, writes the header and closes the file.
    void Finish(const std::vector<uint32_t>& nextNidIndexByType);

    uint64_t bytesWritten() const { return cursor_; }

private:
    struct BlockRef {
        uint64_t bid;
        uint64_t ib;
        uint16_t cb;
        bool freed = false;
    };
    struct NodeRef {
        uint32_t nid;
        uint64_t bidData;
        uint64_t bidSub;
        uint32_t nidParent;
    };
    // One leaf page's share of a B-tree: the entries it holds and those left in its unused tail.
    template <typename Entry>
    struct Leaf {
        std::vector<const Entry*> live;
        std::vector<const Entry*> stale;
    };
    struct PageRef {
        uint64_t key;
        uint64_t bid;
        uint64_t ib;
    };

    uint64_t WriteBlock(std::span<const uint8_t> data, bool internal);
    uint64_t WriteTree(const std::vector<uint64_t>& bids, const std::vector<uint64_t>& sizes);
    uint64_t Allocate(uint64_t size, uint64_t alignment);
    void MarkAllocated(uint64_t ib, uint64_t size);
    void SeekForward(uint64_t ib);
    void WriteAt(uint64_t ib, const Bytes& bytes);
    template <typename Entry, typename Emit>
    PageRef WriteLeafPage(uint8_t pageType, const Leaf<Entry>& leaf, size_t entrySize, Emit emit);
    static void EmitBlockEntry(Bytes& out, const BlockRef& block);
    static void EmitNodeEntry(Bytes& out, const NodeRef& node);
    template <typename Entry, typename Key, typename Emit>
    PageRef WriteBTreeLevels(uint8_t pageType, const std::vector<Leaf<Entry>>& leaves, size_t entrySize, Key key,
                             Emit emit);
    template <typename Entry>
    static std::vector<Leaf<Entry>> SplitIntoLeaves(const std::vector<const Entry*>& live,
                                                    const std::vector<const Entry*>& stale, size_t perLeaf,
                                                    std::vector<const Entry*>& unplaced);
    // Leaf pages listing these entries, written and left in free space as a rewritten tree leaves them.
    template <typename Entry, typename Emit>
    void WriteSupersededPages(uint8_t pageType, const std::vector<const Entry*>& entries, size_t entrySize, Emit emit);
    void ClearAllocated(uint64_t ib, uint64_t size);
    Bytes MakePage(Bytes body, uint8_t pageType, uint64_t bid, uint64_t ib, bool signed_);

    UniqueFile file_;  // empty once Finish() has closed the file
    std::string path_;
    BlockEncoding encoding_;
    ContentType contentType_;
    uint64_t cursor_ = 0;   // end of the allocated part of the file
    uint64_t written_ = 0;  // how far the stream has been written
    uint64_t nextBid_ = 4;
    std::vector<BlockRef> blocks_;
    std::vector<NodeRef> nodes_;
    std::vector<NodeRef> staleNodes_;
    std::vector<std::pair<uint64_t, uint64_t>> freedRuns_;  // superseded pages and gaps: offset, size
    std::vector<std::vector<uint8_t>> amaps_;  // one 496-byte bitmap per allocation region
    bool finished_ = false;
};

}  // namespace tolvane::pstwriter
