// What the main window gets from outside: the session's record store and
// temporary directory, the scan driver, the conversion, the way the process
// ends and hooks that let tests hold a worker at an item. The executable binds
// the real engine; tests bind fakes or the real engine.
#pragma once

#include "convert/ConversionDriver.h"
#include "frontend/ScanSink.h"
#include "scan/ScanDriver.h"

#include <QDateTime>
#include <QUrl>
#include <functional>
#include <memory>

namespace tolvane {

class ItemStore;
class ProcessTempDir;
class UserPrompts;
class WorkerGate;

// Runs conversions one at a time (the window keeps one for the process).
class ConversionRunner {
public:
    virtual ~ConversionRunner() = default;
    virtual DestinationCheck CheckDestination(const QString& destinationPath) const = 0;
    virtual ConversionStart Start(const ConversionRequest& request) = 0;
    virtual bool isRunning() const = 0;
};

struct WindowServices {
    // Required, owned by whoever runs the window (main(), a test) and outliving it.
    ItemStore* store = nullptr;
    ProcessTempDir* tempDir = nullptr;
    // Every question, notice and chooser of the window (not owned); null: the
    // toolkit's standard boxes.
    UserPrompts* prompts = nullptr;
    std::function<ScanOutcome(const ShownScan&)> runScan;
    std::shared_ptr<ConversionRunner> conversions;
    // Ends the process at once (Exit answered Yes); no destructor runs after it.
    std::function<void()> exitProcess;
    // Opens a file or address with the desktop's default program.
    std::function<bool(const QUrl&)> openExternally;
    // Called on the window's thread with each new worker's gate before it starts.
    std::function<void(WorkerGate&)> prepareScanGate;
    std::function<void(WorkerGate&)> prepareConversionGate;
    std::function<QDateTime()> clock;
};

// The real engine, the real process exit (which removes the temporary
// directory first) and the desktop's opener, on the given store and directory.
WindowServices DefaultWindowServices(ItemStore& store, ProcessTempDir& tempDir);

}  // namespace tolvane
