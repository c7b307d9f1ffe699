// The deleted items of the mailbox a conversion reads: one libpff handle of
// its own that searches the file's free space for them the first time one is
// asked for, once per conversion, and that every reader of the conversion
// (MailboxReader, which shares it as it shares the item index) reads
// recovered items through, under this object's lock. Live and orphan items
// stay on each reader's own handle.
#pragma once

#include "scan/InputFile.h"
#include "scan/PffHandles.h"

#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tolvane {

class DeletedItemsFile {
public:
    // Nothing is opened yet. `searchHook` (optional, for tests) runs each
    // time the file's free space is searched.
    DeletedItemsFile(QString pstPath, std::optional<FileIdentity> scanned, std::function<void()> searchHook = {});
    DeletedItemsFile(const DeletedItemsFile&) = delete;
    DeletedItemsFile& operator=(const DeletedItemsFile&) = delete;

    // Guards the file: held around every use of it, by the item reads and by
    // the attachment sources they hand out, which read later.
    std::recursive_mutex& mutex() { return mutex_; }
    // With mutex() held: the file, opened and searched the first time it is
    // asked for; null when it cannot be opened or searched, which is tried once.
    [[nodiscard]] libpff_file_t* SearchedFile();
    // The code page of the file's 8-bit strings.
    int asciiCodepage() const { return file_.asciiCodepage(); }
    // Whether the file is an offline cache (PffFile::isOfflineCache).
    bool isOfflineCache() const { return file_.isOfflineCache(); }

private:
    std::recursive_mutex mutex_;
    const QString pstPath_;
    const std::optional<FileIdentity> scanned_;
    const std::function<void()> searchHook_;
    std::optional<bool> searched_;
    PffFile file_;
};

}  // namespace tolvane
