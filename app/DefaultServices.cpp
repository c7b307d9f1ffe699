// The window's services bound to the real scan engine and conversion.
#include "WindowServices.h"

#include <QDesktopServices>
#include <cstdio>
#include <cstdlib>

namespace tolvane {

namespace {

#ifdef TOLVANE_HAVE_CONVERSION_DRIVER
class DriverConversionRunner final : public ConversionRunner {
public:
    DestinationCheck CheckDestination(const QString& path) const override { return tolvane::CheckDestination(path); }
    ConversionStart Start(const ConversionRequest& request) override { return driver_.Start(request); }
    bool isRunning() const override { return driver_.isRunning(); }
    QString startFailure() const override { return driver_.startFailure(); }

private:
    ConversionDriver driver_;
};
#endif

}  // namespace

WindowServices DefaultWindowServices()
{
    WindowServices services;
    services.runScan = [](const ScanRequest& request, ScanOutcome* outcome) {
        return RunScanDriver(request, outcome);
    };
#ifdef TOLVANE_HAVE_CONVERSION_DRIVER
    services.conversions = std::make_shared<DriverConversionRunner>();
#endif
    services.exitProcess = [] {
        // Ends at once: no worker is waited for and nothing is cleaned up.
        std::fflush(nullptr);
        std::_Exit(0);
    };
    services.openExternally = [](const QUrl& url) { return QDesktopServices::openUrl(url); };
    return services;
}

}  // namespace tolvane
