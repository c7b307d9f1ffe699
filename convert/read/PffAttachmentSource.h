// An attachment too large to hold in memory, read from the mailbox chunk by
// chunk while its message is composed, on the thread that read the message
// (a read-ahead worker composing into a scratch file, the preview). The
// source takes the file's lock for every call into libpff: a recovered item's
// file is shared by every worker.
#pragma once

#include "model/MailContent.h"
#include "scan/PffHandles.h"

#include <QString>

#include <mutex>

namespace tolvane {

// Reads exactly `size` bytes of attachment data from the current position;
// anything less is a failure (why in *reason), never a shorter attachment.
[[nodiscard]] bool ReadAttachmentBytes(libpff_item_t* attachment, char* buffer, qint64 size, QString* reason);

class PffAttachmentSource : public AttachmentSource {
public:
    // `fileMutex` guards the file `attachment` belongs to and outlives the source.
    PffAttachmentSource(PffItem attachment, qint64 size, std::recursive_mutex* fileMutex);
    ~PffAttachmentSource() override;
    PffAttachmentSource(const PffAttachmentSource&) = delete;
    PffAttachmentSource& operator=(const PffAttachmentSource&) = delete;

    qint64 size() const override { return size_; }
    [[nodiscard]] bool Rewind() override;
    [[nodiscard]] qint64 Read(char* buffer, qint64 capacity) override;
    QString failure() const override;
    bool readWhole() const override;

private:
    PffItem attachment_;
    const qint64 size_;
    std::recursive_mutex* const fileMutex_;
    qint64 position_ = 0;
    bool reachedEnd_ = false;  // a pass read every byte (the writer may rewind afterwards)
    QString failure_;
};

}  // namespace tolvane
