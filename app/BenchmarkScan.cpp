// Window scan benchmark.
#include "app/BenchmarkScan.h"

#include "app/CQuenbyDlg.h"
#include "view/ItemListModel.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "view/UserPrompts.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <cstdio>

namespace tolvane {

namespace {

// Answers every box without showing it; remembers the notices.
class SilentPrompts final : public UserPrompts {
public:
    bool Ask(QWidget*, const QString&, const QString&) override { return false; }
    void Notify(QWidget*, const QString&, const QString& text) override { notices.push_back(text); }
    bool NotifyWithOffer(QWidget*, const QString&, const QString& text, const QString&) override
    {
        notices.push_back(text);
        return false;
    }
    void Error(QWidget*, const QString&, const QString& text) override { notices.push_back(text); }
    QString ChooseFile(QWidget*, const QString&, const QString&) override { return QString(); }
    QString ChooseFolder(QWidget*, const QString&) override { return destination; }
    QStringList notices;
    QString destination;
};

}  // namespace

int RunWindowScanBenchmark(WindowServices services, const QString& pstFile, const QString& destination)
{
    SilentPrompts prompts;
    prompts.destination = destination;
    services.prompts = &prompts;
    const ItemStore* store = services.store;
    ProcessTempDir* tempDir = services.tempDir;
    CQuenbyDlg window(std::move(services));
    window.show();
    window.ChooseFile(pstFile);
    QEventLoop loop;
    QObject::connect(&window, &CQuenbyDlg::scanWorkerEnded, &loop, &QEventLoop::quit);
    QElapsedTimer timer;
    timer.start();
    window.OnScan();
    loop.exec();
    QApplication::processEvents();
    const double seconds = timer.nsecsElapsed() / 1e9;
    std::printf("window-scan-seconds %.3f\n", seconds);
    std::printf("mail-rows %d\n", window.itemListModel()->rowCount());
    std::printf("mail-records %zu\n", store->mailCount());
    std::printf("folder-nodes %zu\n", store->folderNodeCount());
    std::printf("last-notice %s\n", prompts.notices.isEmpty() ? "" : qPrintable(prompts.notices.last()));
    std::fflush(stdout);
    bool completed = !prompts.notices.isEmpty() && prompts.notices.last() == QStringLiteral("Analysis completed");
    if (completed && !destination.isEmpty()) {
        QEventLoop conversionLoop;
        QObject::connect(&window, &CQuenbyDlg::conversionWorkerEnded, &conversionLoop, &QEventLoop::quit);
        timer.restart();
        window.OnConvert();
        conversionLoop.exec();
        QApplication::processEvents();
        std::printf("window-convert-seconds %.3f\n", timer.nsecsElapsed() / 1e9);
        std::printf("last-notice %s\n", prompts.notices.isEmpty() ? "" : qPrintable(prompts.notices.last()));
        std::fflush(stdout);
        // Everything saved: the notice alone, or followed by the counts of
        // the calendars and lists when nothing of those failed either.
        const QString saved = QStringLiteral("Saving sucessfully completed.");
        const QString notice = prompts.notices.isEmpty() ? QString() : prompts.notices.last();
        completed = notice == saved
                    || (notice.startsWith(saved + QStringLiteral("\n\nCalendars: "))
                        && !notice.contains(QLatin1String("could not")) && !notice.contains(QLatin1String("without")));
    }
    // The process ends at once, past every destructor: the temporary directory goes first.
    if (tempDir != nullptr)
        tempDir->Remove();
    std::_Exit(completed ? 0 : 1);
}

}  // namespace tolvane
