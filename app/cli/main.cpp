// tolvane-cli: the command-line front end. Dispatches to the subcommands.
#include "Commands.h"
#include "HeadlessScan.h"

#include <QCoreApplication>

namespace {

const char kUsage[] =
    "Usage: tolvane-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  scan [--json] FILE.pst        scan a PST file and print its folders and items\n"
    "  convert ...                   convert the mail of a PST file to .eml files\n"
    "\n"
    "Run 'tolvane-cli COMMAND --help' for the options of a command.\n";

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tolvane-cli"));
    const QStringList arguments = QCoreApplication::arguments();
    using namespace tolvane::cli;
    if (arguments.size() < 2) {
        PrintError(QString::fromLatin1(kUsage));
        return kExitUsage;
    }
    const QString command = arguments.at(1);
    const QStringList rest = arguments.mid(2);
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h") || command == QStringLiteral("help")) {
        PrintOut(QString::fromLatin1(kUsage));
        return kExitOk;
    }
    if (command == QStringLiteral("scan"))
        return RunScanCommand(rest);
    if (command == QStringLiteral("convert"))
        return RunConvertCommand(rest);
    PrintError(QStringLiteral("tolvane-cli: unknown command %1\n").arg(command) + QString::fromLatin1(kUsage));
    return kExitUsage;
}
