// What `tolvane-cli convert` prints when a file's conversion has ended: the
// counts that are not zero, one per line in plain words ("1 distribution
// list saved"), and the output folder; or, with --json, one object with
// every count, the output folder and the problems, for scripts.
#pragma once

#include "convert/ConversionDriver.h"
#include "scan/RecoveryReport.h"

#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvane::cli {

// Everything the ending of one file's conversion says.
struct ConvertRun {
    QString file;
    ConversionSummary summary;
    int folders = 0;
    QStringList skipped;       // items the walk could not read: "place: reason"
    QStringList notConverted;  // items of kinds that hold nothing to convert
    QStringList problems;      // every problem line, as it was reported
    std::optional<RecoveryReport> recovery;
    QString notice;            // the completion notice's text
    int signalNumber = 0;      // the signal that stopped the run; 0 when none did
    int exitStatus = 0;
};

// The lines of the plain ending, each without its line break.
[[nodiscard]] QStringList EndingLines(const ConvertRun& run);
[[nodiscard]] QJsonObject EndingJson(const ConvertRun& run);

}  // namespace tolvane::cli
