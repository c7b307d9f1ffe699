// An independent look at the raw structure of a written file (header, B-tree pages, block trailers,
// allocation maps) so tests can check checksums and locate blocks to damage.
#pragma once

#include "pstwriter/PstBytes.h"

#include <map>
#include <string>
#include <vector>

namespace tolvane::pstwriter::testing {

struct BlockInfo {
    uint64_t bid = 0;
    uint64_t offset = 0;
    uint16_t size = 0;
};

struct NodeInfo {
    uint32_t nid = 0;
    uint64_t dataBid = 0;
    uint64_t subnodeBid = 0;
    uint32_t parent = 0;
};

struct PstLayout {
    Bytes file;
    std::map<uint64_t, BlockInfo> blocks;  // by BID without the reserved low bit
    std::map<uint32_t, NodeInfo> nodes;
    std::vector<uint64_t> pageOffsets;     // B-tree pages
    std::vector<std::string> problems;     // every checksum, signature or layout fault found
};

PstLayout InspectPst(const std::string& path);

// Data of a block as stored (still encoded).
Bytes StoredBlock(const PstLayout& layout, uint64_t bid);

} // namespace tolvane::pstwriter::testing
