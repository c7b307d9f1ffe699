// tolvane: the desktop application.
//   tolvane [--scan] [FILE.pst]           start the window, FILE chosen as if by Browse
//                                         (and scanned at once with --scan)
//   tolvane --version | --help            print the version or the usage, no window
//   tolvane --benchmark-scan FILE [DEST]  scan FILE in the window (and convert it into
//                                         DEST) and print the time taken
// main() owns the session: the record store and the process's temporary
// directory live here for as long as the window and its workers need them.
#include "app/BenchmarkScan.h"
#include "view/CExplorer1.h"
#include "app/CQuenbyApp.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "frontend/TolvaneVersion.h"
#include "app/WindowServices.h"

#include <QApplication>
#include <QUrl>

#include <csignal>
#include <cstdio>
#include <cstring>

namespace {

const char kUsage[] =
    "Usage: tolvane [--scan] [FILE.pst]\n"
    "\n"
    "Opens the Tolvane window, with FILE.pst (a path or a file: URL) chosen as if\n"
    "by Browse. tolvane-cli converts without a window.\n"
    "\n"
    "  --scan     scan FILE.pst as soon as the window is open\n"
    "  --help     show this text\n"
    "  --version  print the program's name and version\n";

}  // namespace

int main(int argc, char* argv[])
{
    // Answered before QApplication exists: they need no display.
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::printf("tolvane %s\n", tolvane::kProductVersion);
        return 0;
    }
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    // A file-size limit (ulimit -f) fails the write that crosses it, which the
    // writers handle like a full disk, instead of killing the window.
    std::signal(SIGXFSZ, SIG_IGN);
    tolvane::CExplorer1::PrepareProcess();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Tolvane"));
    QApplication::setApplicationVersion(QString::fromLatin1(tolvane::kProductVersion));
    QApplication::setDesktopFileName(QStringLiteral("tolvane"));

    tolvane::ProcessTempDir tempDir;
    tolvane::ItemStore store;
    const QStringList arguments = QApplication::arguments().mid(1);
    if ((arguments.size() == 2 || arguments.size() == 3) && arguments.first() == QStringLiteral("--benchmark-scan"))
        return tolvane::RunWindowScanBenchmark(tolvane::DefaultWindowServices(store, tempDir), arguments.at(1),
                                               arguments.value(2));

    QStringList files = arguments;
    const bool scanAtStart = files.removeAll(QStringLiteral("--scan")) > 0;
    if (scanAtStart && files.isEmpty()) {
        std::fputs("tolvane: --scan needs a FILE.pst to scan\n", stderr);
        return 2;
    }
    QString startFile;
    if (!files.isEmpty()) {
        // Desktops hand over a path or a file: URL.
        const QUrl url(files.first());
        startFile = url.isLocalFile() ? url.toLocalFile() : files.first();
    }
    tolvane::CQuenbyApp app(tolvane::DefaultWindowServices(store, tempDir), startFile, scanAtStart);
    // InitInstance comes back once the window has ended, the program's normal
    // end: the exit status is always 0.
    app.InitInstance();
    return 0;
}
