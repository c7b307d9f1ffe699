// Property contexts (one object's properties) and table contexts (rows of a folder, recipients,
// attachments) built on the heap; values too large for the heap go to subnodes of the same node.
#pragma once

#include "pstwriter/PropertyValue.h"
#include "pstwriter/SubnodeCollector.h"

#include <map>
#include <vector>

namespace tolvane::pstwriter {

struct TableRow {
    uint32_t rowId = 0;
    std::map<uint32_t, PropertyValue> cells;  // keyed by full property tag
};

// Returns the BID of the node data holding the property context.
[[nodiscard]] uint64_t WritePropertyContext(const PropertyMap& properties, SubnodeCollector& subnodes);

// Returns the BID of the node data holding the table context. Cells whose tag is not among the
// columns are ignored; columns a row lacks are marked absent in that row.
[[nodiscard]] uint64_t WriteTableContext(std::vector<uint32_t> columnTags, const std::vector<TableRow>& rows,
                                         SubnodeCollector& subnodes);

}  // namespace tolvane::pstwriter
