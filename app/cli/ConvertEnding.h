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

// How a file's conversion ended before anything was written, in --json's words.
enum class NotConverted {
    Unreadable,   // not a PST, or it cannot be opened
    ScanFailed,   // its folders cannot be read
    OutOfMemory,  // not enough memory or other resources to scan it
    Refused,      // a --folder it lacks, or a destination the run cannot use
    Interrupted,  // a signal came during the scan
};

// --json's object for a file that was not converted at all: the same keys as
// EndingJson's for the file, the output folder (null) and how it ended, and
// `error` saying why.
[[nodiscard]] QJsonObject NotConvertedJson(const QString& file, NotConverted why, int exitStatus,
                                           const QString& error);

}  // namespace tolvane::cli
