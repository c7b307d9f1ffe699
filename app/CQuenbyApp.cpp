// Application object.
#include "app/CQuenbyApp.h"

#include "app/CQuenbyDlg.h"
#include "base/ProcessTempDir.h"

#include <QCoreApplication>
#include <QTimer>
#include <cstdlib>

namespace tolvane {

CQuenbyApp::CQuenbyApp(WindowServices services, QString startFile, bool scanAtStart)
    : services_(std::move(services))
    , startFile_(std::move(startFile))
    , scanAtStart_(scanAtStart)
{
}

bool CQuenbyApp::InitInstance()
{
    QCoreApplication::setOrganizationName(QStringLiteral("Local AppWizard-Generated Applications"));
    auto window = std::make_unique<CQuenbyDlg>(services_);
    if (!startFile_.isEmpty()) {
        // A file handed over by the desktop is chosen as if through Browse.
        CQuenbyDlg* raw = window.get();
        const QString file = startFile_;
        const bool scan = scanAtStart_;
        QTimer::singleShot(0, raw, [raw, file, scan] {
            // An offline cache is read only through its own command.
            if (file.endsWith(QStringLiteral(".ost"), Qt::CaseInsensitive)) {
                raw->ScanOfflineCache(file);
                return;
            }
            raw->ChooseFile(file);
            if (scan)
                raw->OnScan();
        });
    }
    window->exec();
    if (window->hasRunningWorkers()) {
        // Escape ends the process with its workers; nothing waits for them and
        // no destructor runs, so the temporary directory goes first.
        if (services_.tempDir != nullptr)
            services_.tempDir->Remove();
        std::fflush(nullptr);
        std::_Exit(0);
    }
    return false;
}

}  // namespace tolvane
