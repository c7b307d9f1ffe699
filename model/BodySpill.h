// An anonymous file that holds the kept bodies of a store's item records, so a
// mailbox of a hundred thousand messages does not keep every body in memory.
// Appends from the scan worker, reads from any thread. The file has no name
// on disk (it is made in the process's temporary directory and unlinked at
// once), so it disappears with the last record that refers to it.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <mutex>
#include <optional>

namespace tolvane {

class BodySpill {
public:
    // A spill file in `directory` (none: not yet known), opened on first use.
    explicit BodySpill(QString directory = QString());

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
    bool ensureOpen();

    std::mutex mutex_;
    QString directory_;
    bool tried_ = false;
    int fd_ = -1;
    int64_t end_ = 0;
};

}  // namespace tolvane
