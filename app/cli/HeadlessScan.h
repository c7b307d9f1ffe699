// Running a scan without a window: a numbering ScanSink that prints notices
// to stderr, and small argument-parsing helpers shared by the
// subcommands of tolvane-cli.
#pragma once

#include "model/ItemRecords.h"
#include "scan/ScanDriver.h"
#include "frontend/ScanSink.h"
#include "app/cli/NumberingScanSink.h"

#include <QHash>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QVector>

namespace tolvane {
class ItemStore;
class ProcessTempDir;
class ScanEvents;
}

namespace tolvane::cli {

class TerminalProgress;

// Exit statuses shared by the subcommands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitCannotOpen = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitScanFailed = 3;
// Memory, threads or descriptors ran out: nothing is wrong with the file or the
// destination, and the same command may succeed with more resources.
inline constexpr int kExitNoResources = 5;
static_assert(kExitNoResources == kOutOfMemoryExitStatus, "the scan ends the process with the same status");

// The numbering sink that also prints each notice to stderr. A file that
// cannot be opened is named with the system's reason instead of the window's
// notice, which would call a missing or forbidden file corrupted.
// The window's notices for a file that cannot be read are kept on record
// but not printed: RunHeadlessScan names the file and what is wrong with it
// in one line instead (ProblemText.h).
class HeadlessScanSink : public NumberingScanSink {
public:
    void ShowNotice(const QString& text) override;
    void ShowOpenFailure(const QString& notice, const QString& reason) override;
    void SetProgress(int position) override;
    // Optional: notices are printed above `progress`, and the scan's
    // position is drawn on it as "Scanning `file`" unless `file` is empty
    // (a walk beside a conversion, whose progress is the conversion's).
    void DrawProgressOn(TerminalProgress* progress, const QString& file);
    // Prints `text` to stderr, above the progress line when there is one.
    void Print(const QString& text);
    // Prints why the mailbox could not be opened or scanned ("FILE: what
    // happened", ProblemText.h) and keeps it for --json.
    void ReportMailboxProblem(const QString& text);
    // The problem reported; empty when the scan went through.
    const QString& mailboxProblem() const { return mailboxProblem_; }

private:

    TerminalProgress* progress_ = nullptr;
    QString file_;
    QString mailboxProblem_;
};

// Scans `pstPath` exactly as the window does: a fresh record set in `store`,
// a top-level node carrying the path, then the scan driver, with `tempDir` as
// the home of "Attachments". The root node's id is returned in *rootNode.
// `gate` (optional) lets a signal stop the scan. `itemDetail`: what is read
// of each mail (see ScanRequest). `recover`:
// search for deleted and orphan items as well (see ScanRequest). `alsoTell`
// (optional) is told of every event as well, on the calling thread.
// `ostFiles`: whether an offline cache file is read (--allow-ost).
ScanOutcome RunHeadlessScan(const QString& pstPath, ItemStore& store, const ProcessTempDir& tempDir,
                            HeadlessScanSink& sink, TreeNodeId* rootNode = nullptr, WorkerGate* gate = nullptr,
                            ItemDetail itemDetail = ItemDetail::Listed, bool recover = false,
                            ScanEvents* alsoTell = nullptr, OstFiles ostFiles = OstFiles::Refused);

// Names on stderr every item the scan left out, after a count.
void PrintSkippedItems(const QStringList& skipped);
// The items of kinds that hold nothing to convert, with their count, on
// standard error; nothing when there are none.
void PrintNotConvertedItems(const QStringList& items);

// Splits arguments into flags (from `knownFlags`) and positional arguments.
// False (with a message in *error) for an unknown option.
struct ParsedArguments {
    QStringList flags;
    QStringList positional;
    bool has(const QString& flag) const { return flags.contains(flag); }
};
bool ParseArguments(const QStringList& arguments, const QStringList& knownFlags, ParsedArguments* parsed,
                    QString* error);

// Writes UTF-8 text to stdout / stderr.
void PrintOut(const QString& text);
void PrintError(const QString& text);

// A text from the mailbox or the file system made safe for a terminal, as
// ShownText writes it (app/ShownText.h). TerminalLines keeps the line breaks
// of a multi-line text the program composed and escapes each line: the texts
// from outside that went into it were shown with ShownText already.
QString TerminalText(const QString& text);
QString TerminalLines(const QString& text);

// JSON text with DEL and the C1 controls written as \u escapes as well; Qt's
// writer escapes only the C0 controls.
QByteArray EscapeJsonControls(const QByteArray& json);
// `object` as one line of compact JSON on stdout, escaped as above.
void PrintJsonLine(const QJsonObject& object);

// An argument path made absolute against the current directory and cleaned,
// without the lossy decoding of QFileInfo and QDir::currentPath.
QString AbsolutePath(const QString& path);

}  // namespace tolvane::cli
