// The process's own temporary directory: "<pid>-<random>" below the per-user
// private directory. The preview pages and the body spill live in it, so two
// running instances of the same user never remove or overwrite each other's
// files. Made once by whoever runs the process (main() of tolvane and of
// tolvane-cli, or a test) and handed to whoever needs it; removed with
// everything in it when its owner goes.
#pragma once

#include "base/Expected.h"
#include "base/SystemError.h"

#include <QString>

#include <optional>

namespace tolvane {

class ProcessTempDir {
public:
    // Checks (or makes) the per-user directory, removes the directories that
    // dead processes left there, then makes this process's directory with
    // mode 0700. When any of that is refused there is no directory, and
    // path() says why; the scan reports it when it needs the directory.
    ProcessTempDir();
    // Removes the directory and everything in it.
    ~ProcessTempDir();
    ProcessTempDir(const ProcessTempDir&) = delete;
    ProcessTempDir& operator=(const ProcessTempDir&) = delete;

    // Absolute path of the directory, or why it could not be made.
    [[nodiscard]] const Expected<QString, SystemError>& path() const { return path_; }

    // Removes the directory now, for an exit that skips destructors
    // (std::_Exit); the destructor then has nothing left to do.
    void Remove();

private:
    // Checks the per-user directory (into userDirectory_) and makes this process's one.
    Expected<QString, SystemError> MakeDirectory();

    // Declared before path_: MakeDirectory sets it while path_ is made.
    QString userDirectory_;
    Expected<QString, SystemError> path_;
    bool removed_ = false;
};

// Removes below `userDirectory` every directory "<pid>-<random>" whose process
// no longer runs (kill(pid, 0) fails with ESRCH), with everything in it.
// Symbolic links, entries of other names, entries owned by someone else and the
// directories of running processes are left alone; nothing is followed out of
// `userDirectory`. Returns how many directories were removed.
int RemoveStaleProcessDirectories(const QString& userDirectory);

}  // namespace tolvane
