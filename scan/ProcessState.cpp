// Storage of the process-wide switches.
#include "ProcessState.h"

namespace tolvane {

std::atomic<bool> treeBuildingOff{false};

}  // namespace tolvane
