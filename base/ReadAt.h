// The one loop that reads a descriptor at an offset: interrupted and short
// reads are carried on until the bytes asked for are there or the file ends.
#pragma once

#include "base/Expected.h"
#include "base/SystemError.h"

#include <QtGlobal>

namespace tolvane {

// Reads up to `size` bytes from `offset` into `data`. Gives how many were
// read: fewer than `size` only where the file ends.
[[nodiscard]] Expected<qint64, SystemError> ReadAt(int fd, char* data, qint64 size, qint64 offset);

}  // namespace tolvane
