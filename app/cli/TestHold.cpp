// The hold is a checkpoint hook, so it runs on the worker at a known item;
// the line on stderr tells the test when that item is reached, without any
// waiting on time.
#include "app/cli/TestHold.h"

#include "app/cli/HeadlessScan.h"
#include "app/cli/InterruptWatcher.h"
#include "scan/WorkerGate.h"

namespace tolvane::cli {

namespace {

// The ordinal of the held item in `phase`, 0 when there is none.
long HoldOrdinal(const QString& phase)
{
    const QString at = qEnvironmentVariable("TOLVANE_CLI_HOLD_AT");
    const QString prefix = phase + u':';
    if (!at.startsWith(prefix))
        return 0;
    bool ok = false;
    const long ordinal = at.mid(prefix.size()).toLong(&ok);
    return ok && ordinal > 0 ? ordinal : 0;
}

}  // namespace

bool TestHoldRequested(const QString& phase)
{
    return HoldOrdinal(phase) > 0;
}

void InstallTestHold(const QString& phase, WorkerGate& gate, InterruptWatcher& watcher)
{
    const long holdAt = HoldOrdinal(phase);
    if (holdAt == 0)
        return;
    const QString line = QStringLiteral("tolvane-cli: held at %1:%2\n").arg(phase).arg(holdAt);
    gate.setCheckpointHook([holdAt, line, &watcher](long ordinal) {
        if (ordinal != holdAt)
            return;
        PrintError(line);
        watcher.WaitForInterrupt();
    });
}

}  // namespace tolvane::cli
