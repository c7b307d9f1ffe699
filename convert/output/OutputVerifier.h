// Checking an output folder against its manifest (tolvane-cli verify). The
// folder is treated as untrusted: everything is opened through the folder's
// descriptor one name at a time, no link is followed, only regular files
// are read, and the manifest is read a bounded line at a time.
#pragma once

#include "base/FileBeneath.h"

#include <QString>

#include <vector>

namespace tolvane {

// The longest manifest line verify reads; a longer one makes the manifest unreadable.
inline constexpr qsizetype kLongestManifestLine = 1024 * 1024;

// One thing in the folder that does not match the manifest.
struct VerifyFinding {
    enum class Fault {
        Missing,         // listed, not there
        Changed,         // there, other bytes or another length
        NotRegular,      // listed as a file, something else is there (`kind`)
        BrokenWay,       // a directory on the listed path is a symbolic link or no directory
        OutsideFolder,   // the listed path is absolute or climbs out of the folder
        Unreadable,      // listed, there, but it cannot be read
        Uncovered,       // a shared file with no whole-file line whose messages do not cover it exactly
        Extra,           // there, not listed (`kind`)
        TooDeep,         // a directory deeper than the check walks
    };
    Fault fault = Fault::Changed;
    QString path;  // relative to the output folder
    EntryKind kind = EntryKind::RegularFile;
};

// A kind of item whose lines do not add up to what the summary line counts.
struct CountMismatch {
    QString kind;
    int summaryWritten = 0;
    int summaryNotWritten = 0;
    int listedWritten = 0;
    int listedNotWritten = 0;
};

struct VerifyReport {
    enum class Standing {
        Complete,    // the manifest ends in its summary line
        Unreadable,  // the manifest cannot be read: `detail` says why; nothing was checked
        FolderLink,  // the folder named is a symbolic link; nothing was checked
        Incomplete,  // no summary line: the run that wrote it never finished
        Stopped,     // the summary says the run stopped early: `detail` is its reason
    };
    Standing standing = Standing::Complete;
    QString detail;
    std::vector<VerifyFinding> findings;  // listed entries in manifest order, then the extra ones by path
    std::vector<CountMismatch> countMismatches;
    int checked = 0;  // entries with a file

    [[nodiscard]] int count(VerifyFinding::Fault fault) const;
    [[nodiscard]] bool allMatch() const
    {
        return standing == Standing::Complete && findings.empty() && countMismatches.empty();
    }
};

[[nodiscard]] VerifyReport VerifyOutput(const QString& outputFolder);

}  // namespace tolvane
