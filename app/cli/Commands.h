// The subcommands of tolvane-cli. Each takes the arguments after its name and
// the process's temporary directory (main() owns it), keeps its own record
// store and returns the process exit status.
#pragma once

#include <QStringList>

namespace tolvane {
class ProcessTempDir;
}

namespace tolvane::cli {

int RunScanCommand(const QStringList& arguments, const ProcessTempDir& tempDir);
int RunConvertCommand(const QStringList& arguments, const ProcessTempDir& tempDir);
int RunVerifyCommand(const QStringList& arguments);

}  // namespace tolvane::cli
