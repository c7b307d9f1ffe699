// Walks both B-trees from the header and checks every page and block trailer on the way.
#include "tests/pstwriter/PstFileInspector.h"

#include "pstwriter/PstChecksums.h"

#include <fstream>
#include <iterator>

namespace tolvane::pstwriter::testing {
namespace {

constexpr uint64_t firstAmap = 0x4400;
constexpr uint64_t regionSize = 253952;

void Problem(PstLayout& layout, std::string text) { layout.problems.push_back(std::move(text)); }

void WalkPage(PstLayout& layout, uint64_t offset, uint8_t pageType, int depthLeft)
{
    if (layout.file.size() < 512 || offset > layout.file.size() - 512 || depthLeft == 0) {
        Problem(layout, "page outside the file");
        return;
    }
    const uint8_t* page = layout.file.data() + offset;
    layout.pageOffsets.push_back(offset);
    if (page[496] != pageType || page[497] != pageType)
        Problem(layout, "page type at " + std::to_string(offset));
    if (GetU32(page + 500) != ComputeCrc(page, 496))
        Problem(layout, "page CRC at " + std::to_string(offset));
    if (GetU16(page + 498) != ComputeBlockSignature(offset, GetU64(page + 504)))
        Problem(layout, "page signature at " + std::to_string(offset));
    const uint8_t count = page[488], entrySize = page[490], level = page[491];
    for (int i = 0; i < count; ++i) {
        const uint8_t* e = page + i * entrySize;
        if (level > 0) {
            WalkPage(layout, GetU64(e + 16), pageType, depthLeft - 1);
        } else if (pageType == 0x80) {
            BlockInfo b{GetU64(e), GetU64(e + 8), GetU16(e + 16)};
            layout.blocks[b.bid & ~1ull] = b;
        } else {
            NodeInfo n{uint32_t(GetU64(e)), GetU64(e + 8), GetU64(e + 16), GetU32(e + 24)};
            layout.nodes[n.nid] = n;
        }
    }
}

} // namespace

PstLayout InspectPst(const std::string& path)
{
    PstLayout layout;
    std::ifstream in(path, std::ios::binary);
    layout.file.assign(std::istreambuf_iterator<char>(in), {});
    const Bytes& f = layout.file;
    if (f.size() < 0x4600) {
        Problem(layout, "file too small");
        return layout;
    }
    if (GetU32(f.data()) != 0x4E444221 || GetU16(f.data() + 8) != 0x4D53)
        Problem(layout, "file signature");
    if (GetU32(f.data() + 4) != ComputeCrc(f.data() + 8, 471))
        Problem(layout, "header partial CRC");
    if (GetU32(f.data() + 524) != ComputeCrc(f.data() + 8, 516))
        Problem(layout, "header full CRC");
    if (GetU64(f.data() + 184) != f.size())
        Problem(layout, "file end differs from header");
    WalkPage(layout, GetU64(f.data() + 224), 0x81, 8);
    WalkPage(layout, GetU64(f.data() + 240), 0x80, 8);

    for (uint64_t amap = firstAmap; amap < f.size(); amap += regionSize) {
        const uint8_t* page = f.data() + amap;
        if (page[496] != 0x84 || GetU32(page + 500) != ComputeCrc(page, 496) || GetU64(page + 504) != amap)
            Problem(layout, "allocation map at " + std::to_string(amap));
    }
    auto allocated = [&](uint64_t offset) {
        const uint64_t region = (offset - firstAmap) / regionSize;
        const uint64_t bit = (offset - firstAmap - region * regionSize) / 64;
        return (f[firstAmap + region * regionSize + bit / 8] & (0x80 >> (bit % 8))) != 0;
    };
    for (const auto& [bid, b] : layout.blocks) {
        const uint64_t total = (b.size + 16 + 63) / 64 * 64;
        if (b.offset + total > f.size()) {
            Problem(layout, "block outside the file");
            continue;
        }
        const uint8_t* trailer = f.data() + b.offset + total - 16;
        if (GetU16(trailer) != b.size || GetU64(trailer + 8) != b.bid)
            Problem(layout, "block trailer of " + std::to_string(bid));
        if (GetU32(trailer + 4) != ComputeCrc(f.data() + b.offset, b.size))
            Problem(layout, "block CRC of " + std::to_string(bid));
        if (GetU16(trailer + 2) != ComputeBlockSignature(b.offset, b.bid))
            Problem(layout, "block signature of " + std::to_string(bid));
        for (uint64_t unit = b.offset; unit < b.offset + total; unit += 64)
            if (!allocated(unit))
                Problem(layout, "block not marked in the allocation map: " + std::to_string(bid));
    }
    for (uint64_t page : layout.pageOffsets)
        if (!allocated(page))
            Problem(layout, "page not marked in the allocation map");
    return layout;
}

Bytes StoredBlock(const PstLayout& layout, uint64_t bid)
{
    auto it = layout.blocks.find(bid & ~1ull);
    if (it == layout.blocks.end())
        return {};
    return Bytes(layout.file.begin() + long(it->second.offset),
                 layout.file.begin() + long(it->second.offset + it->second.size));
}

} // namespace tolvane::pstwriter::testing
