// An anonymous, process-private file that holds the kept bodies of the item
// records, so a mailbox of a hundred thousand messages does not keep every
// body in memory. Appends from the scan worker, reads from any thread.
// The file has no name on disk (it lives in the process's temporary directory
// and is unlinked at once), so it disappears with the process.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

namespace tolvane {

class BodySpill {
public:
    // The process-wide spill file; opened on first use.
    static BodySpill& instance();

    // Where the file is to be made: the scan hands over its process's
    // temporary directory before the first record. A file already open stays
    // where it is; until a directory is given, bodies stay in memory.
    void UseDirectory(const QString& directory);

    // Stores the bytes and returns their offset; nullopt when the file cannot be
    // used (no private temporary directory, disk full), and the caller keeps the
    // bytes in memory instead.
    std::optional<int64_t> append(const QByteArray& bytes);

    // The bytes stored at offset; empty when they cannot be read back.
    QByteArray read(int64_t offset, int32_t size) const;

    ~BodySpill();
    BodySpill(const BodySpill&) = delete;
    BodySpill& operator=(const BodySpill&) = delete;

private:
    BodySpill() = default;
    bool ensureOpen();

    std::mutex mutex_;
    QString directory_;
    bool tried_ = false;
    int fd_ = -1;
    int64_t end_ = 0;
};

}  // namespace tolvane
