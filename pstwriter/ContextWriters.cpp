// Lays out property-context entries and table rows (fixed-size columns inline, variable-size
// columns by heap or subnode reference, then the cell-existence bitmap).
#include "pstwriter/ContextWriters.h"

#include "pstwriter/HeapWriter.h"

#include <algorithm>

namespace tolvane::pstwriter {
namespace {

uint32_t StoreVariable(HeapWriter& heap, SubnodeCollector& subnodes, const Bytes& data)
{
    if (data.size() <= HeapWriter::kMaxAllocation)
        return heap.Allocate(data);
    return subnodes.StoreValue(data);
}

}  // namespace

uint64_t WritePropertyContext(const PropertyMap& properties, SubnodeCollector& subnodes)
{
    HeapWriter heap(HeapWriter::kClientPropertyContext);
    const uint32_t headerHid = heap.Allocate(Bytes(8, 0));
    std::vector<Bytes> records;
    for (const auto& [id, value] : properties) {
        Bytes record;
        PutU16(record, id);
        PutU16(record, value.type);
        const size_t fixed = FixedTypeSize(value.type);
        if (fixed && fixed <= 4) {
            Bytes inline4 = value.data;
            inline4.resize(4, 0);
            PutBytes(record, inline4);
        } else {
            PutU32(record, StoreVariable(heap, subnodes, value.data));
        }
        records.push_back(std::move(record));
    }
    heap.setUserRoot(heap.BuildBTree(2, 6, records, headerHid));
    return subnodes.db().WriteBlocks(heap.Finish());
}

uint64_t WriteTableContext(std::vector<uint32_t> columnTags, const std::vector<TableRow>& rows,
                           SubnodeCollector& subnodes)
{
    constexpr uint32_t kRowIdTag = MakeTag(0x67F2, PtLong);
    constexpr uint32_t kRowVersionTag = MakeTag(0x67F3, PtLong);
    std::erase(columnTags, kRowIdTag);
    std::erase(columnTags, kRowVersionTag);
    std::sort(columnTags.begin(), columnTags.end());
    columnTags.erase(std::unique(columnTags.begin(), columnTags.end()), columnTags.end());

    // Column placement: row id and version first, then 8-, 4-, 2- and 1-byte cells.
    struct Column {
        uint32_t tag;
        uint16_t offset = 0;
        uint8_t size = 0;
        uint8_t bit = 0;
    };
    auto cellSize = [](uint32_t tag) -> uint8_t {
        const size_t fixed = FixedTypeSize(TagType(tag));
        return uint8_t(fixed ? fixed : 4);
    };
    std::vector<Column> placed{{kRowIdTag, 0, 4, 0}, {kRowVersionTag, 4, 4, 1}};
    uint16_t offset = 8;
    uint8_t bit = 2;
    uint16_t groupEnds[4] = {};
    constexpr uint8_t kCellSizes[4] = {8, 4, 2, 1};
    for (int group = 0; group < 4; ++group) {
        for (uint32_t tag : columnTags)
            if (cellSize(tag) == kCellSizes[group]) {
                placed.push_back({tag, offset, kCellSizes[group], bit++});
                offset += kCellSizes[group];
            }
        groupEnds[group] = offset;
    }
    const size_t bitmapSize = (placed.size() + 7) / 8;
    const uint16_t rowSize = uint16_t(offset + bitmapSize);

    HeapWriter heap(HeapWriter::kClientTableContext);
    const size_t infoSize = 22 + 8 * placed.size();
    const uint32_t infoHid = heap.Allocate(Bytes(infoSize, 0));

    std::vector<Bytes> rowBytes;
    std::vector<Bytes> indexRecords;
    for (size_t r = 0; r < rows.size(); ++r) {
        const TableRow& row = rows[r];
        Bytes bytes(rowSize, 0);
        SetU32(bytes.data(), row.rowId);
        bytes[offset] |= 0xC0;  // row id and version always present
        for (const Column& column : placed) {
            if (column.bit < 2)
                continue;
            auto cell = row.cells.find(column.tag);
            if (cell == row.cells.end())
                continue;
            const PropertyValue& value = cell->second;
            if (FixedTypeSize(TagType(column.tag))) {
                std::copy_n(value.data.begin(), std::min<size_t>(value.data.size(), column.size),
                            bytes.begin() + column.offset);
            } else {
                SetU32(bytes.data() + column.offset, StoreVariable(heap, subnodes, value.data));
            }
            bytes[offset + column.bit / 8] |= uint8_t(0x80 >> (column.bit % 8));
        }
        rowBytes.push_back(std::move(bytes));
        Bytes record;
        PutU32(record, row.rowId);
        PutU32(record, uint32_t(r));
        indexRecords.push_back(std::move(record));
    }
    std::sort(indexRecords.begin(), indexRecords.end(),
              [](const Bytes& a, const Bytes& b) { return GetU32(a.data()) < GetU32(b.data()); });
    const uint32_t indexHid = heap.BuildBTree(4, 4, indexRecords);

    uint32_t rowsHnid = 0;
    const size_t matrixSize = rows.size() * rowSize;
    if (matrixSize > 0 && matrixSize <= HeapWriter::kMaxAllocation) {
        Bytes matrix;
        for (const Bytes& row : rowBytes)
            PutBytes(matrix, row);
        rowsHnid = heap.Allocate(matrix);
    } else if (matrixSize > 0) {
        // Rows never straddle blocks: each block holds a whole number of rows.
        const size_t perBlock = NodeDatabaseWriter::kMaxBlockData / rowSize;
        std::vector<Bytes> pieces;
        for (size_t first = 0; first < rowBytes.size(); first += perBlock) {
            Bytes piece;
            for (size_t i = first; i < std::min(rowBytes.size(), first + perBlock); ++i)
                PutBytes(piece, rowBytes[i]);
            pieces.push_back(std::move(piece));
        }
        rowsHnid = subnodes.NewNid(0x1F);
        subnodes.Add(rowsHnid, subnodes.db().WriteBlocks(pieces));
    }

    Bytes info;
    PutU8(info, 0x7C);
    PutU8(info, uint8_t(placed.size()));
    PutU16(info, groupEnds[1]);  // end of the 8- and 4-byte cells
    PutU16(info, groupEnds[2]);
    PutU16(info, groupEnds[3]);
    PutU16(info, rowSize);
    PutU32(info, indexHid);
    PutU32(info, rowsHnid);
    PutU32(info, 0);
    std::sort(placed.begin(), placed.end(), [](const Column& a, const Column& b) { return a.tag < b.tag; });
    for (const Column& column : placed) {
        PutU32(info, column.tag);
        PutU16(info, column.offset);
        PutU8(info, column.size);
        PutU8(info, column.bit);
    }
    heap.Update(infoHid, info);
    heap.setUserRoot(infoHid);
    return subnodes.db().WriteBlocks(heap.Finish());
}

}  // namespace tolvane::pstwriter
