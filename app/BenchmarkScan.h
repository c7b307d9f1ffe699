// `tolvane --benchmark-scan FILE`: scans FILE in the real window, answering
// every box itself, and prints how long the scan took until the window had
// shown everything.
#pragma once

#include "app/WindowServices.h"

namespace tolvane {

int RunWindowScanBenchmark(WindowServices services, const QString& pstFile);

}  // namespace tolvane
