// The subcommands of tolvane-cli. Each takes the arguments after its name and
// returns the process exit status.
#pragma once

#include <QStringList>

namespace tolvane::cli {

int RunScanCommand(const QStringList& arguments);
int RunConvertCommand(const QStringList& arguments);

}  // namespace tolvane::cli
