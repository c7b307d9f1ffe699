// The window's services bound to the real scan engine and conversion.
#include "app/WindowServices.h"

#include "base/ProcessTempDir.h"

#include <QDesktopServices>
#include <cstdio>
#include <cstdlib>

namespace tolvane {

namespace {

class DriverConversionRunner final : public ConversionRunner {
public:
    DestinationCheck CheckDestination(const QString& path) const override { return tolvane::CheckDestination(path); }
    ConversionStart Start(const ConversionRequest& request) override { return driver_.Start(request); }
    bool isRunning() const override { return driver_.isRunning(); }

private:
    ConversionDriver driver_;
};

}  // namespace

WindowServices DefaultWindowServices(ItemStore& store, ProcessTempDir& tempDir)
{
    WindowServices services;
    services.store = &store;
    services.tempDir = &tempDir;
    services.runScan = [](const ShownScan& scan) { return RunShownScan(scan); };
    services.conversions = std::make_shared<DriverConversionRunner>();
    services.exitProcess = [&tempDir] {
        // Ends at once: no worker is waited for and no destructor runs, so the
        // temporary directory goes first.
        tempDir.Remove();
        std::fflush(nullptr);
        std::_Exit(0);
    };
    services.openExternally = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return services;
}

}  // namespace tolvane
