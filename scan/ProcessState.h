// Process-wide switches shared by the window, the conversion and the scan worker.
#pragma once

#include <atomic>

namespace tolvane {

// When true the folder walk inserts no tree nodes and no folder nodes.
// False at start and after each Browse; the conversion sets it.
extern std::atomic<bool> treeBuildingOff;

}  // namespace tolvane
