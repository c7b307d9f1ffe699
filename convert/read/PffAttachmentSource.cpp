// Streaming a large attachment out of the mailbox under the reader's lock.
#include "convert/read/PffAttachmentSource.h"

#include <algorithm>
#include <cstdio>

namespace tolvane {

bool ReadAttachmentBytes(libpff_item_t* attachment, char* buffer, qint64 size, QString* reason)
{
    qint64 done = 0;
    while (done < size) {
        const ssize_t read = libpff_attachment_data_read_buffer(
            attachment, reinterpret_cast<uint8_t*>(buffer + done), static_cast<size_t>(size - done), nullptr);
        if (read <= 0) {
            *reason = QStringLiteral("its data ends after %1 of %2 bytes").arg(done).arg(size);
            return false;
        }
        done += read;
    }
    return true;
}

PffAttachmentSource::PffAttachmentSource(PffItem attachment, qint64 size, std::recursive_mutex* fileMutex)
    : attachment_(std::move(attachment)), size_(size), fileMutex_(fileMutex)
{
}

PffAttachmentSource::~PffAttachmentSource()
{
    // Freeing the handle touches the file too.
    std::lock_guard lock(*fileMutex_);
    attachment_.reset();
}

bool PffAttachmentSource::Rewind()
{
    std::lock_guard lock(*fileMutex_);
    position_ = 0;
    if (libpff_attachment_data_seek_offset(attachment_.get(), 0, SEEK_SET, nullptr) < 0) {
        failure_ = QStringLiteral("its data cannot be read");
        return false;
    }
    return true;
}

qint64 PffAttachmentSource::Read(char* buffer, qint64 capacity)
{
    std::lock_guard lock(*fileMutex_);
    const qint64 wanted = std::min(capacity, size_ - position_);
    if (wanted <= 0)
        return 0;
    if (position_ == 0 && libpff_attachment_data_seek_offset(attachment_.get(), 0, SEEK_SET, nullptr) < 0) {
        failure_ = QStringLiteral("its data cannot be read");
        return -1;
    }
    QString shortRead;  // counts within this chunk; the failure below counts from the start
    if (!ReadAttachmentBytes(attachment_.get(), buffer, wanted, &shortRead)) {
        failure_ = QStringLiteral("its data ends after %1 of %2 bytes").arg(position_).arg(size_);
        return -1;
    }
    position_ += wanted;
    reachedEnd_ = reachedEnd_ || position_ == size_;
    return wanted;
}

QString PffAttachmentSource::failure() const
{
    std::lock_guard lock(*fileMutex_);
    return failure_;
}

bool PffAttachmentSource::readWhole() const
{
    std::lock_guard lock(*fileMutex_);
    return failure_.isEmpty() && reachedEnd_;
}

}  // namespace tolvane
