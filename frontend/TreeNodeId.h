// The handle of a node of a folder tree, handed out by whatever shows the
// tree (the window's tree control, the command line's plain numbering).
#pragma once

#include <QtGlobal>

namespace tolvane {

// 0 is no node.
using TreeNodeId = quint64;

}  // namespace tolvane
