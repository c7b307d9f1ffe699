// `tolvane --benchmark-scan FILE [DEST]`: scans FILE in the real window,
// answering every box itself, and prints how long the scan took until the
// window had shown everything; with DEST, then converts into DEST with the
// window's Convert and prints how long that took.
#pragma once

#include "app/WindowServices.h"

namespace tolvane {

int RunWindowScanBenchmark(WindowServices services, const QString& pstFile, const QString& destination = QString());

}  // namespace tolvane
