// The words of a recovery's counts, made in one place for both front ends:
// the window's completion notice, `tolvane-cli scan` and `convert` (their
// summary lines) and `scan --json` (its keys). The engine hands over the
// counts only (scan/RecoveryReport.h).
#pragma once

#include "scan/RecoveryReport.h"

#include <QString>
#include <QStringList>

#include <span>

namespace tolvane {

// The kinds a tally counts, in the order every summary lists them: the
// count, its key in `scan --json` and its word for one and for many.
struct RecoveredKind {
    int RecoveryTally::*count;
    const char* jsonKey;
    const char* one;
    const char* many;
};
[[nodiscard]] std::span<const RecoveredKind> RecoveredKinds();

// "2 mails, 1 contact" for the kinds of a tally that are not zero; "nothing"
// when none is.
[[nodiscard]] QString RecoveredKindsText(const RecoveryTally& tally);
// The lines a scan summary shows for a recovery.
[[nodiscard]] QStringList RecoverySummaryLines(const RecoveryReport& report);

}  // namespace tolvane
