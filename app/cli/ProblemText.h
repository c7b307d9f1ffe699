// The command line's one-line account of why a mailbox or a destination
// cannot be used, naming the file it is about, as "FILE: what happened". The
// window keeps its notices; a run over several files must say which failed.
#pragma once

#include "scan/ScanDriver.h"

#include <QString>

namespace tolvane::cli {

// Why the scan of `path` ended as `result` says (NotPst, OpenFailed,
// ScanFailed, NoResources). Looks at the file's header and length to tell
// a file that is not a PST from one that was cut short.
QString MailboxProblemText(const QString& path, const ScanResult& result);

// Why `path` cannot take a conversion's output folder: missing, not a
// directory, or not given at all.
QString DestinationProblemText(const QString& path);

}  // namespace tolvane::cli
