// The per-user private temporary directory: the parent of every running
// instance's own directory (ProcessTempDir), checked so that nobody else can
// have planted it.
#pragma once

#include "base/Expected.h"
#include "base/SystemError.h"

#include <QString>

namespace tolvane {

// The directory "tolvane-<uid>" below $TMPDIR (when it names an existing
// absolute directory with a UTF-8 name) or /tmp, created with mode 0700 when missing. Refused
// when the name is a symlink, not a directory, or owned by another user;
// group/other permissions on our own directory are removed.
[[nodiscard]] Expected<QString, SystemError> PrivateTempDir();

}  // namespace tolvane
