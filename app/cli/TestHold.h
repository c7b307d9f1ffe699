// A hold point for tests that signal a running tolvane-cli: with
// TOLVANE_CLI_HOLD_AT=scan:N or convert:N in the environment, the command
// stops before the N-th item of that phase, says so on stderr
// ("tolvane-cli: held at convert:N") and waits until it has been signalled.
// Without that variable nothing happens.
#pragma once

#include <QString>

namespace tolvane {
class WorkerGate;
}

namespace tolvane::cli {

class InterruptWatcher;

// True when the environment asks for a hold in `phase` ("scan" or "convert").
bool TestHoldRequested(const QString& phase);

// Sets the hold as `gate`'s checkpoint hook; the gate and the watcher must
// outlive the phase's worker.
void InstallTestHold(const QString& phase, WorkerGate& gate, InterruptWatcher& watcher);

}  // namespace tolvane::cli
