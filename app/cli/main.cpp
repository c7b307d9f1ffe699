// tolvane-cli: the command-line front end. Dispatches to the subcommands.
#include "app/cli/Commands.h"
#include "app/cli/HeadlessScan.h"
#include "base/NativePath.h"
#include "base/ProcessTempDir.h"
#include "frontend/TolvaneVersion.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <new>
#include <system_error>

namespace {

const char kUsage[] =
    "Usage: tolvane-cli COMMAND [OPTIONS]\n"
    "\n"
    "Commands:\n"
    "  scan [--json|--paths] FILE.pst  scan a PST file and print its folders and items\n"
    "  convert ...                     convert PST files to .eml, mbox, an mbox tree or Maildir\n"
    "  verify OUTPUT_FOLDER            check a conversion's files against its manifest\n"
    "  help [COMMAND]                  show this text, or the options of COMMAND\n"
    "\n"
    "Options:\n"
    "  -h, --help     show this text\n"
    "  -V, --version  print the program's name and version\n"
    "\n"
    "Exit status 5 (scan and convert): not enough memory or other system resources\n"
    "(threads, file descriptors).\n"
    "\n"
    "Run 'tolvane-cli help COMMAND' for the options of a command.\n";

const char kNoResourcesText[] =
    "tolvane-cli: not enough memory or other system resources (threads, file descriptors) to go on: ";

// Ends the process with the resources status. Plain stdio: nothing here may need memory.
[[noreturn]] void EndForWantOfResources(const char* what)
{
    std::fputs(kNoResourcesText, stderr);
    std::fputs(what, stderr);
    std::fputc('\n', stderr);
    std::fflush(nullptr);
    std::_Exit(tolvane::cli::kExitNoResources);
}

// An exception that escapes a worker thread (a conversion thread that cannot
// start its own helpers, say) ends up here rather than in main's handlers:
// running out of resources still ends with its status instead of an abort.
[[noreturn]] void OnTerminate()
{
    if (const std::exception_ptr current = std::current_exception()) {
        try {
            std::rethrow_exception(current);
        } catch (const std::bad_alloc& error) {
            EndForWantOfResources(error.what());
        } catch (const std::system_error& error) {
            if (tolvane::IsResourceExhaustion(error))
                EndForWantOfResources(error.what());
        } catch (...) {
        }
    }
    std::abort();
}

int Dispatch(const QStringList& arguments, const tolvane::ProcessTempDir& tempDir)
{
    using namespace tolvane::cli;
    if (arguments.size() < 2) {
        PrintError(QString::fromLatin1(kUsage));
        return kExitUsage;
    }
    const QString command = arguments.at(1);
    const QStringList rest = arguments.mid(2);
    if (command == QStringLiteral("help") && !rest.isEmpty()) {
        // "help convert" is "convert --help"; an unknown name is a usage error below.
        const QString topic = rest.first();
        if (topic == QStringLiteral("scan") || topic == QStringLiteral("convert") || topic == QStringLiteral("verify"))
            return Dispatch({arguments.at(0), topic, QStringLiteral("--help")}, tempDir);
        PrintError(QStringLiteral("tolvane-cli: no help on %1 (scan, convert or verify)\n").arg(TerminalText(topic)));
        return kExitUsage;
    }
    if (command == QStringLiteral("--help") || command == QStringLiteral("-h") || command == QStringLiteral("help")) {
        PrintOut(QString::fromLatin1(kUsage));
        return kExitOk;
    }
    if (command == QStringLiteral("--version") || command == QStringLiteral("-V")) {
        PrintOut(QStringLiteral("tolvane-cli %1\n").arg(QString::fromLatin1(tolvane::kProductVersion)));
        return kExitOk;
    }
    if (command == QStringLiteral("scan"))
        return RunScanCommand(rest, tempDir);
    if (command == QStringLiteral("convert"))
        return RunConvertCommand(rest, tempDir);
    if (command == QStringLiteral("verify"))
        return RunVerifyCommand(rest);
    PrintError(QStringLiteral("tolvane-cli: unknown command %1\n").arg(TerminalText(command)) +
               QString::fromLatin1(kUsage));
    return kExitUsage;
}

}  // namespace

int main(int argc, char** argv)
{
    std::set_terminate(OnTerminate);
    // A file-size limit (ulimit -f) must fail the write that crosses it, which
    // the writers handle like a full disk, not kill the process mid-file.
    std::signal(SIGXFSZ, SIG_IGN);
    try {
        QCoreApplication application(argc, argv);
        QCoreApplication::setApplicationName(QStringLiteral("tolvane-cli"));
        // The raw bytes, not QCoreApplication::arguments(): a file name that is
        // not UTF-8 must reach the file system exactly as it was given.
        QStringList arguments;
        for (int i = 0; i < argc; ++i)
            arguments.append(tolvane::PathFromNative(argv[i]));
        // Removed with everything in it when the command returns.
        const tolvane::ProcessTempDir tempDir;
        return Dispatch(arguments, tempDir);
    } catch (const std::bad_alloc& error) {
        EndForWantOfResources(error.what());
    } catch (const std::system_error& error) {
        if (!tolvane::IsResourceExhaustion(error))
            throw;
        EndForWantOfResources(error.what());
    }
}
