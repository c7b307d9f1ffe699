// Which of the window's commands are enabled when: every situation the window
// can be in, the controls each one enables, and what each moment of the
// window's life (a file chosen, Scan pressed, Stop answered...) moves it to.
// Pure values, so the whole table can be tested without a window.
#pragma once

#include <QString>

namespace tolvane {

// The controls whose enabling the table decides.
struct EnabledCommands {
    bool browse = false;       // the Browse... button
    bool scan = false;         // the Scan button
    bool convert = false;      // the Convert button
    bool stop = false;         // the Stop button
    bool open = false;         // File > Open
    bool scanItem = false;     // File > Scan
    bool convertItem = false;  // File > Convert
    friend bool operator==(const EnabledCommands&, const EnabledCommands&) = default;
};

// The situations the window's commands can be in. Besides the usual path
// (Idle, FileChosen, ScanStarting, Scanning, Scanned; a conversion leaves the
// commands as Scanned) three things carry over from one step to the next:
// Stop answered No enables Browse again in the middle of a scan, so a file can
// be chosen while that scan still runs; Convert stays enabled from an earlier
// scan until a file is chosen; Stop stays enabled after a scan until a scan is
// stopped. The situations they make are named after how they are reached.
enum class CommandState {
    Idle,                             // nothing chosen yet, or a scan stopped
    FileChosen,                       // a mailbox chosen, not scanned
    ScanStarting,                     // Scan pressed, the scan driver not started yet
    Scanning,                         // the scan runs; also after a failed scan whose chooser was cancelled
    Scanned,                          // the scan completed; also while converting
    FileChosenAfterScan,              // another mailbox chosen after a scan: Stop stays enabled
    FileChosenAfterFailedScan,        // the chooser after a failed scan gave a file
    ScanStartingStopDeclined,         // Stop answered No before the scan driver started
    ScanningStopDeclined,             // Stop answered No during the scan, or Stop after a failed one
    StoppedBeforeDriverStart,         // Stop answered Yes before the scan driver started
    FileChosenDuringScan,             // Browse, enabled by a declined Stop, chose a file during a scan
    DriverStartedAfterFileChosen,     // the running scan's driver started only after that file was chosen
    ScannedAfterFileChosen,           // the running scan completed after a file was chosen during it
    ScannedAfterLateDriverStart,      // ... completed, its driver having started after the file was chosen
    StoppedAfterFileChosen,           // ... stopped, its driver having started after the file was chosen
    RescanStarting,                   // Scan pressed while Convert stays enabled from the last scan
    Rescanning,                       // that scan runs
    RescanStartingStopDeclined,       // Stop answered No before that scan's driver started
    RescanningStopDeclined,           // Stop answered No during that scan
    RescanStoppedBeforeDriverStart,   // Stop answered Yes before that scan's driver started
    RescanStopped,                    // Stop answered Yes during that scan
    // Stop answered Yes after a scan had reported success but before its
    // worker ended (the two arrive as separate changes).
    StoppedAfterScannedWithFileChosen,
    StoppedAfterScannedLateDriverStart,
    // Orders the scan driver never produces (success before its start, a
    // start after the chooser of a failed scan); named so that every event
    // has a defined outcome in every situation.
    ScannedBeforeDriverStart,
    DriverStartedAfterScanFileChosen,
    DriverStartedAfterFailedScanFileChosen,
};

// The moments that change what is enabled.
enum class CommandEvent {
    FileChosen,         // a mailbox chosen (Browse, the desktop, the chooser after a failed scan)
    ScanPressed,        // the scan worker is started
    ScanDriverStarted,  // the scan driver has begun
    ScanSucceeded,      // the scan completed
    ScanStopped,        // Stop answered Yes during a scan
    StopAnswered,       // any other Stop: answered No, during a conversion, or with nothing running
};

inline constexpr int kCommandStateCount = static_cast<int>(CommandState::DriverStartedAfterFailedScanFileChosen) + 1;
inline constexpr int kCommandEventCount = static_cast<int>(CommandEvent::StopAnswered) + 1;

[[nodiscard]] EnabledCommands CommandsOf(CommandState state);
// The situation the event leads to from `state`.
[[nodiscard]] CommandState NextCommandState(CommandState state, CommandEvent event);
// The state's name, for test messages.
[[nodiscard]] QString CommandStateName(CommandState state);

}  // namespace tolvane
