// Writes blocks sequentially and keeps 20-odd bytes per block and per node until the B-trees are built.
#include "pstwriter/NodeDatabaseWriter.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <unistd.h>

namespace tolvane::pstwriter {
namespace {

constexpr uint64_t kFirstAmapOffset = 0x4400;
constexpr uint64_t kRegionSize = 496 * 8 * 64;  // bytes mapped by one allocation map page
constexpr uint64_t kPageSize = 512;
constexpr size_t kTrailerSize = 16;
constexpr size_t kMaxXblockEntries = (NodeDatabaseWriter::kMaxBlockData - 8) / 8;
constexpr size_t kMaxSlEntries = (NodeDatabaseWriter::kMaxBlockData - 8) / 24;
constexpr size_t kMaxSiEntries = (NodeDatabaseWriter::kMaxBlockData - 8) / 16;
constexpr uint8_t kPageTypeBbt = 0x80;
constexpr uint8_t kPageTypeNbt = 0x81;
constexpr uint8_t kPageTypePmap = 0x83;
constexpr uint8_t kPageTypeAmap = 0x84;

uint64_t AlignUp(uint64_t value, uint64_t alignment) { return (value + alignment - 1) / alignment * alignment; }

uint64_t RegionStart(size_t region) { return kFirstAmapOffset + region * kRegionSize; }

// Pages at the start of a region that belong to the allocation maps.
uint64_t ReservedAtRegionStart(size_t region) { return kPageSize + (region % 8 == 0 ? kPageSize : 0); }

}  // namespace

NodeDatabaseWriter::NodeDatabaseWriter(const std::string& path, BlockEncoding encoding, ContentType contentType)
    : path_(path), encoding_(encoding), contentType_(contentType)
{
    file_.reset(std::fopen(path.c_str(), "wb"));
    if (!file_)
        throw std::runtime_error("cannot create " + path);
    std::setvbuf(file_.get(), nullptr, _IOFBF, 1 << 20);
    cursor_ = kFirstAmapOffset;
}

void NodeDatabaseWriter::MarkAllocated(uint64_t ib, uint64_t size)
{
    const size_t region = (ib - kFirstAmapOffset) / kRegionSize;
    while (amaps_.size() <= region) {
        std::vector<uint8_t> bitmap(496, 0);
        const uint64_t reserved = ReservedAtRegionStart(amaps_.size()) / 64;
        for (uint64_t bit = 0; bit < reserved; ++bit)
            bitmap[bit / 8] |= uint8_t(0x80 >> (bit % 8));
        amaps_.push_back(std::move(bitmap));
    }
    const uint64_t first = (ib - RegionStart(region)) / 64;
    const uint64_t last = (ib + size - 1 - RegionStart(region)) / 64;
    for (uint64_t bit = first; bit <= last; ++bit)
        amaps_[region][bit / 8] |= uint8_t(0x80 >> (bit % 8));
}

void NodeDatabaseWriter::ClearAllocated(uint64_t ib, uint64_t size)
{
    // Blocks never share a 64-byte unit, so clearing a freed block's bits frees nothing else.
    const size_t region = (ib - kFirstAmapOffset) / kRegionSize;
    const uint64_t first = (ib - RegionStart(region)) / 64;
    const uint64_t last = (ib + size - 1 - RegionStart(region)) / 64;
    for (uint64_t bit = first; bit <= last; ++bit)
        amaps_[region][bit / 8] &= uint8_t(~(0x80 >> (bit % 8)));
}

uint64_t NodeDatabaseWriter::Allocate(uint64_t size, uint64_t alignment)
{
    uint64_t pos = AlignUp(cursor_, alignment);
    for (;;) {
        const size_t region = (pos - kFirstAmapOffset) / kRegionSize;
        const uint64_t start = RegionStart(region);
        const uint64_t reservedEnd = start + ReservedAtRegionStart(region);
        if (pos < reservedEnd) {
            MarkAllocated(start, reservedEnd - start);
            pos = AlignUp(reservedEnd, alignment);
            continue;
        }
        if (pos + size > start + kRegionSize) {
            pos = start + kRegionSize;
            continue;
        }
        break;
    }
    MarkAllocated(pos, size);
    cursor_ = pos + size;
    return pos;
}

void NodeDatabaseWriter::SeekForward(uint64_t ib)
{
    static constexpr uint8_t kZeros[4096] = {};
    while (written_ < ib) {
        const size_t n = size_t(std::min<uint64_t>(sizeof kZeros, ib - written_));
        if (std::fwrite(kZeros, 1, n, file_.get()) != n)
            throw std::runtime_error("write failed: " + path_);
        written_ += n;
    }
}

void NodeDatabaseWriter::WriteAt(uint64_t ib, const Bytes& bytes)
{
    if (ib == written_) {
        if (std::fwrite(bytes.data(), 1, bytes.size(), file_.get()) != bytes.size())
            throw std::runtime_error("write failed: " + path_);
        written_ += bytes.size();
        return;
    }
    if (ib > written_) {
        SeekForward(ib);
        WriteAt(ib, bytes);
        return;
    }
    // Back-patching (allocation maps, header) happens only in Finish().
    std::fflush(file_.get());
    if (::pwrite(fileno(file_.get()), bytes.data(), bytes.size(), off_t(ib)) != ssize_t(bytes.size()))
        throw std::runtime_error("write failed: " + path_);
}

uint64_t NodeDatabaseWriter::WriteBlock(std::span<const uint8_t> data, bool internal)
{
    if (data.size() > kMaxBlockData)
        throw std::logic_error("block too large");
    const uint64_t bid = nextBid_ | (internal ? 2 : 0);
    nextBid_ += 4;
    const uint64_t total = AlignUp(data.size() + kTrailerSize, 64);
    const uint64_t ib = Allocate(total, 64);

    Bytes block(data.begin(), data.end());
    if (!internal && encoding_ == BlockEncoding::Compressible)
        EncodeCompressible(block.data(), block.size());
    block.resize(total - kTrailerSize, 0);
    PutU16(block, uint16_t(data.size()));
    PutU16(block, ComputeBlockSignature(ib, bid));
    PutU32(block, ComputeCrc(block.data(), data.size()));
    PutU64(block, bid);
    WriteAt(ib, block);
    blocks_.push_back({bid, ib, uint16_t(data.size())});
    return bid;
}

uint64_t NodeDatabaseWriter::WriteDataBlock(std::span<const uint8_t> data) { return WriteBlock(data, false); }

uint64_t NodeDatabaseWriter::WriteTree(const std::vector<uint64_t>& bids, const std::vector<uint64_t>& sizes)
{
    if (bids.size() == 1)
        return bids[0];
    auto xblock = [this](uint8_t level, std::span<const uint64_t> children, uint64_t total) {
        Bytes body;
        PutU8(body, 0x01);
        PutU8(body, level);
        PutU16(body, uint16_t(children.size()));
        PutU32(body, uint32_t(total));
        for (uint64_t child : children)
            PutU64(body, child);
        return WriteBlock(body, true);
    };
    if (bids.size() <= kMaxXblockEntries) {
        uint64_t total = 0;
        for (uint64_t s : sizes)
            total += s;
        return xblock(1, bids, total);
    }
    std::vector<uint64_t> xblocks;
    uint64_t grandTotal = 0;
    for (size_t first = 0; first < bids.size(); first += kMaxXblockEntries) {
        const size_t count = std::min(kMaxXblockEntries, bids.size() - first);
        uint64_t total = 0;
        for (size_t i = first; i < first + count; ++i)
            total += sizes[i];
        grandTotal += total;
        xblocks.push_back(xblock(1, std::span(bids).subspan(first, count), total));
    }
    if (xblocks.size() > kMaxXblockEntries || grandTotal > 0xFFFFFFFFull)
        throw std::runtime_error("data too large for one node");
    return xblock(2, xblocks, grandTotal);
}

uint64_t NodeDatabaseWriter::WriteData(std::span<const uint8_t> data)
{
    if (data.size() <= kMaxBlockData)
        return WriteBlock(data, false);
    std::vector<uint64_t> bids, sizes;
    for (size_t offset = 0; offset < data.size(); offset += kMaxBlockData) {
        const size_t n = std::min(kMaxBlockData, data.size() - offset);
        bids.push_back(WriteBlock(data.subspan(offset, n), false));
        sizes.push_back(n);
    }
    return WriteTree(bids, sizes);
}

uint64_t NodeDatabaseWriter::WriteBlocks(const std::vector<Bytes>& pieces)
{
    if (pieces.empty())
        return WriteBlock({}, false);
    std::vector<uint64_t> bids, sizes;
    for (const Bytes& piece : pieces) {
        bids.push_back(WriteBlock(piece, false));
        sizes.push_back(piece.size());
    }
    return WriteTree(bids, sizes);
}

uint64_t NodeDatabaseWriter::WriteSubnodes(std::vector<SubnodeEntry> entries)
{
    if (entries.empty())
        return 0;
    std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    for (size_t i = 1; i < entries.size(); ++i)
        if (entries[i].nid == entries[i - 1].nid)
            throw std::logic_error("duplicate subnode id");
    auto leaf = [this](std::span<const SubnodeEntry> part) {
        Bytes body;
        PutU8(body, 0x02);
        PutU8(body, 0);
        PutU16(body, uint16_t(part.size()));
        PutU32(body, 0);
        for (const auto& e : part) {
            PutU64(body, e.nid);
            PutU64(body, e.bidData);
            PutU64(body, e.bidSub);
        }
        return WriteBlock(body, true);
    };
    if (entries.size() <= kMaxSlEntries)
        return leaf(entries);
    Bytes index;
    PutU8(index, 0x02);
    PutU8(index, 1);
    size_t count = 0;
    Bytes items;
    for (size_t first = 0; first < entries.size(); first += kMaxSlEntries) {
        const size_t n = std::min(kMaxSlEntries, entries.size() - first);
        PutU64(items, entries[first].nid);
        PutU64(items, leaf(std::span(entries).subspan(first, n)));
        ++count;
    }
    if (count > kMaxSiEntries)
        throw std::runtime_error("too many subnodes");
    PutU16(index, uint16_t(count));
    PutU32(index, 0);
    PutBytes(index, items);
    return WriteBlock(index, true);
}

void NodeDatabaseWriter::AddNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent)
{
    nodes_.push_back({nid, bidData, bidSub, nidParent});
}

void NodeDatabaseWriter::AddStaleNode(uint32_t nid, uint64_t bidData, uint64_t bidSub, uint32_t nidParent)
{
    staleNodes_.push_back({nid, bidData, bidSub, nidParent});
}

std::vector<BlockExtent> NodeDatabaseWriter::FreeBlocksFrom(size_t mark)
{
    std::vector<BlockExtent> extents;
    for (size_t i = mark; i < blocks_.size(); ++i) {
        blocks_[i].freed = true;
        extents.push_back({blocks_[i].bid, blocks_[i].ib, AlignUp(blocks_[i].cb + kTrailerSize, 64)});
    }
    // The leaf pages that listed these blocks before the client rewrote the tree without them, freed
    // right after the blocks, so blocks and pages form one free run.
    std::vector<const BlockRef*> freed;
    for (size_t i = mark; i < blocks_.size(); ++i)
        freed.push_back(&blocks_[i]);
    WriteSupersededPages(kPageTypeBbt, freed, 24, EmitBlockEntry);
    return extents;
}

Bytes NodeDatabaseWriter::MakePage(Bytes body, uint8_t pageType, uint64_t bid, uint64_t ib, bool signed_)
{
    body.resize(496, 0);
    const uint32_t crc = ComputeCrc(body.data(), body.size());
    PutU8(body, pageType);
    PutU8(body, pageType);
    PutU16(body, signed_ ? ComputeBlockSignature(ib, bid) : 0);
    PutU32(body, crc);
    PutU64(body, bid);
    return body;
}

template <typename Entry>
std::vector<NodeDatabaseWriter::Leaf<Entry>> NodeDatabaseWriter::SplitIntoLeaves(const std::vector<const Entry*>& live,
                                                                             const std::vector<const Entry*>& stale,
                                                                             size_t perLeaf,
                                                                             std::vector<const Entry*>& unplaced)
{
    // Stale entries take slots of the pages' unused tails, so pages with stale entries hold fewer live ones,
    // as pages do after removals. Every page keeps at least one live entry: readers skip the tail of a page
    // that lists nothing. Live entries are spread evenly over just enough pages; stale ones (both lists are
    // sorted by key) fill the tails in order, so each lands in or near the page its key falls in. Those
    // that find no room are handed back.
    const size_t total = live.size() + stale.size();
    const size_t pages = std::max<size_t>(1, std::min((total + perLeaf - 1) / perLeaf, std::max<size_t>(1, live.size())));
    std::vector<Leaf<Entry>> leaves(pages);
    for (size_t i = 0; i < live.size(); ++i) {
        // Without stale entries every page but the last is full, as files without deletions always were.
        const size_t page = stale.empty() ? i / perLeaf : i * pages / live.size();
        leaves[page].live.push_back(live[i]);
    }
    size_t page = 0;
    for (const Entry* entry : stale) {
        while (page < pages && (leaves[page].live.empty() || leaves[page].live.size() + leaves[page].stale.size() == perLeaf))
            ++page;
        if (page < pages)
            leaves[page].stale.push_back(entry);
        else
            unplaced.push_back(entry);
    }
    return leaves;
}

template <typename Entry, typename Emit>
void NodeDatabaseWriter::WriteSupersededPages(uint8_t pageType, const std::vector<const Entry*>& entries,
                                              size_t entrySize, Emit emit)
{
    // Readers look for superseded pages only in free runs longer than a page: a free unit follows them.
    const size_t perLeaf = 488 / entrySize;
    for (size_t first = 0; first < entries.size(); first += perLeaf) {
        Leaf<Entry> leaf;
        leaf.live.assign(entries.begin() + first, entries.begin() + std::min(entries.size(), first + perLeaf));
        freedRuns_.push_back({WriteLeafPage(pageType, leaf, entrySize, emit).ib, kPageSize});
    }
    if (!entries.empty())
        freedRuns_.push_back({Allocate(64, 64), 64});
}

template <typename Entry, typename Emit>
NodeDatabaseWriter::PageRef NodeDatabaseWriter::WriteLeafPage(uint8_t pageType, const Leaf<Entry>& leaf,
                                                              size_t entrySize, Emit emit)
{
    Bytes body;
    for (const Entry* entry : leaf.live)
        emit(body, *entry);
    for (const Entry* entry : leaf.stale)  // past cEnt: ignored by lookups, still on disk
        emit(body, *entry);
    body.resize(488, 0);
    PutU8(body, uint8_t(leaf.live.size()));
    PutU8(body, uint8_t(488 / entrySize));
    PutU8(body, uint8_t(entrySize));
    PutU8(body, 0);
    PutU32(body, 0);
    const uint64_t bid = nextBid_;
    nextBid_ += 4;
    const uint64_t ib = Allocate(kPageSize, kPageSize);
    WriteAt(ib, MakePage(std::move(body), pageType, bid, ib, true));
    return {0, bid, ib};
}

void NodeDatabaseWriter::EmitBlockEntry(Bytes& out, const BlockRef& block)
{
    PutU64(out, block.bid);
    PutU64(out, block.ib);
    PutU16(out, block.cb);
    PutU16(out, 2);
    PutU32(out, 0);
}

void NodeDatabaseWriter::EmitNodeEntry(Bytes& out, const NodeRef& node)
{
    PutU64(out, node.nid);
    PutU64(out, node.bidData);
    PutU64(out, node.bidSub);
    PutU32(out, node.nidParent);
    PutU32(out, 0);
}

template <typename Entry, typename Key, typename Emit>
NodeDatabaseWriter::PageRef NodeDatabaseWriter::WriteBTreeLevels(uint8_t pageType, const std::vector<Leaf<Entry>>& leaves,
                                                                 size_t entrySize, Key key, Emit emit)
{
    // Leaves first, then index levels until a single root page remains.
    std::vector<PageRef> level;
    for (const Leaf<Entry>& leaf : leaves) {
        PageRef page = WriteLeafPage(pageType, leaf, entrySize, emit);
        const Entry* first = !leaf.live.empty() ? leaf.live.front() : !leaf.stale.empty() ? leaf.stale.front() : nullptr;
        page.key = first ? key(*first) : 0;
        level.push_back(page);
    }
    uint8_t depth = 1;
    while (level.size() > 1) {
        std::vector<PageRef> upper;
        const size_t perPage = 488 / 24;
        for (size_t first = 0; first < level.size(); first += perPage) {
            const size_t n = std::min(perPage, level.size() - first);
            Bytes body;
            for (size_t i = first; i < first + n; ++i) {
                PutU64(body, level[i].key);
                PutU64(body, level[i].bid);
                PutU64(body, level[i].ib);
            }
            body.resize(488, 0);
            PutU8(body, uint8_t(n));
            PutU8(body, uint8_t(perPage));
            PutU8(body, 24);
            PutU8(body, depth);
            PutU32(body, 0);
            const uint64_t bid = nextBid_;
            nextBid_ += 4;
            const uint64_t ib = Allocate(kPageSize, kPageSize);
            WriteAt(ib, MakePage(std::move(body), pageType, bid, ib, true));
            upper.push_back({level[first].key, bid, ib});
        }
        level = std::move(upper);
        ++depth;
    }
    return level.front();
}

void NodeDatabaseWriter::Finish(const std::vector<uint32_t>& nextNidIndexByType)
{
    if (finished_)
        return;
    finished_ = true;

    std::sort(nodes_.begin(), nodes_.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    for (size_t i = 1; i < nodes_.size(); ++i)
        if (nodes_[i].nid == nodes_[i - 1].nid)
            throw std::logic_error("duplicate node id");

    auto nodeKey = [](const NodeRef& n) { return uint64_t(n.nid); };
    auto blockKey = [](const BlockRef& b) { return b.bid; };
    std::vector<const BlockRef*> liveBlocks, freedBlocks;
    for (const BlockRef& b : blocks_)
        (b.freed ? freedBlocks : liveBlocks).push_back(&b);  // written in ascending id order
    std::vector<const NodeRef*> liveNodes, staleNodes;
    for (const NodeRef& n : nodes_)
        liveNodes.push_back(&n);
    std::stable_sort(staleNodes_.begin(), staleNodes_.end(), [](const auto& a, const auto& b) { return a.nid < b.nid; });
    for (const NodeRef& n : staleNodes_)
        staleNodes.push_back(&n);

    // Freed blocks are listed by superseded pages already; stale nodes that find no room in a page tail
    // go to superseded node pages of their own.
    std::vector<const BlockRef*> blocksWithoutRoom;
    std::vector<const NodeRef*> nodesWithoutRoom;
    const auto blockLeaves = SplitIntoLeaves(liveBlocks, freedBlocks, 488 / 24, blocksWithoutRoom);
    const auto nodeLeaves = SplitIntoLeaves(liveNodes, staleNodes, 488 / 32, nodesWithoutRoom);
    WriteSupersededPages(kPageTypeNbt, nodesWithoutRoom, 32, EmitNodeEntry);
    const PageRef bbtRoot = WriteBTreeLevels(kPageTypeBbt, blockLeaves, 24, blockKey, EmitBlockEntry);
    const PageRef nbtRoot = WriteBTreeLevels(kPageTypeNbt, nodeLeaves, 32, nodeKey, EmitNodeEntry);
    for (const BlockRef* b : freedBlocks)
        ClearAllocated(b->ib, AlignUp(b->cb + kTrailerSize, 64));
    for (const auto& [ib, size] : freedRuns_)
        ClearAllocated(ib, size);

    // The file always ends at the end of the last allocation region.
    const uint64_t fileEnd = RegionStart(amaps_.size());
    std::fflush(file_.get());
    if (::ftruncate(fileno(file_.get()), off_t(fileEnd)) != 0)
        throw std::runtime_error("cannot extend " + path_);

    uint64_t freeBytes = 0;
    for (size_t region = 0; region < amaps_.size(); ++region) {
        const uint64_t start = RegionStart(region);
        for (uint8_t byte : amaps_[region])
            for (int bit = 0; bit < 8; ++bit)
                if (!(byte & (1 << bit)))
                    freeBytes += 64;
        Bytes amap(amaps_[region].begin(), amaps_[region].end());
        WriteAt(start, MakePage(std::move(amap), kPageTypeAmap, start, start, false));
        if (region % 8 == 0)
            WriteAt(start + kPageSize, MakePage(Bytes(496, 0xFF), kPageTypePmap, start + kPageSize, start + kPageSize, false));
    }

    Bytes header;
    PutBytes(header, std::array<uint8_t, 4>{'!', 'B', 'D', 'N'});
    PutU32(header, 0);  // partial CRC, filled below
    PutU16(header, uint16_t(contentType_));
    PutU16(header, 23);
    PutU16(header, 19);
    PutU8(header, 1);
    PutU8(header, 1);
    PutU32(header, 0);
    PutU32(header, 0);
    PutU64(header, 0);          // bidUnused
    PutU64(header, nextBid_);   // bidNextP
    PutU32(header, uint32_t(nodes_.size()));  // dwUnique
    for (size_t type = 0; type < 32; ++type)
        PutU32(header, std::max<uint32_t>(0x400, type < nextNidIndexByType.size() ? nextNidIndexByType[type] : 0));
    PutU64(header, 0);  // qwUnused
    PutU32(header, 0);  // ROOT.dwReserved
    PutU64(header, fileEnd);
    PutU64(header, RegionStart(amaps_.size() - 1));
    PutU64(header, freeBytes);
    PutU64(header, 0);  // cbPMapFree
    PutU64(header, nbtRoot.bid);
    PutU64(header, nbtRoot.ib);
    PutU64(header, bbtRoot.bid);
    PutU64(header, bbtRoot.ib);
    PutU8(header, 2);  // fAMapValid
    PutU8(header, 0);
    PutU16(header, 0);
    PutU32(header, 0);  // dwAlign
    header.insert(header.end(), 256, 0xFF);  // rgbFM, rgbFP
    PutU8(header, 0x80);
    PutU8(header, uint8_t(encoding_));
    PutU16(header, 0);
    PutU64(header, nextBid_ + 4);  // bidNextB
    PutU32(header, 0);              // full CRC, filled below
    PutZeros(header, 36);
    SetU32(header.data() + 4, ComputeCrc(header.data() + 8, 471));
    SetU32(header.data() + 524, ComputeCrc(header.data() + 8, 516));
    WriteAt(0, header);

    std::fflush(file_.get());
    const bool failed = std::ferror(file_.get()) != 0;
    if (std::fclose(file_.release()) != 0 || failed)
        throw std::runtime_error("write failed: " + path_);
}

}  // namespace tolvane::pstwriter
