// Overwrites one block of a written file in place, so damage tests can make deleted content (whose
// blocks the layout of PstBuilder::WriteWithLayout names) partly or wholly unreadable.
#pragma once

#include "pstwriter/NodeDatabaseWriter.h"

#include <string>

namespace tolvane::pstwriter {

enum class BlockDamage {
    Zeroed,       // data and trailer zeroed: the block no longer names itself
    DataGarbled,  // data bytes inverted, trailer kept: only the checksum tells
};

// Throws std::runtime_error when the file cannot be opened or written.
void DamageBlock(const std::string& path, const BlockExtent& block, BlockDamage how);

}  // namespace tolvane::pstwriter
