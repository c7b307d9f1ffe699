// The bounded line reader of the manifest check.
#include "base/BoundedLineReader.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <unistd.h>

namespace tolvane {

namespace {

constexpr qsizetype kReadChunk = 1 << 16;

}  // namespace

BoundedLineReader::BoundedLineReader(int fd, qsizetype maxLineBytes)
    : fd_(fd), maxLineBytes_(maxLineBytes), buffer_(static_cast<std::size_t>(maxLineBytes + kReadChunk + 1))
{
}

bool BoundedLineReader::Fill(Result* stop)
{
    if (finished_) {
        *stop = Result::End;
        return false;
    }
    // Unread bytes move to the front so a whole line always fits.
    if (begin_ > 0) {
        std::memmove(buffer_.data(), buffer_.data() + begin_, static_cast<std::size_t>(end_ - begin_));
        end_ -= begin_;
        begin_ = 0;
    }
    const qsizetype room = static_cast<qsizetype>(buffer_.size()) - end_;
    for (;;) {
        const ssize_t got = ::read(fd_, buffer_.data() + end_, static_cast<std::size_t>(std::min(room, kReadChunk)));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *stop = Result::Failed;
            return false;
        }
        if (got == 0) {
            finished_ = true;
            *stop = Result::End;
            return false;
        }
        end_ += got;
        return true;
    }
}

BoundedLineReader::Result BoundedLineReader::Next(QByteArray* line)
{
    qsizetype scanned = begin_;
    for (;;) {
        const void* newline = std::memchr(buffer_.data() + scanned, '\n', static_cast<std::size_t>(end_ - scanned));
        if (newline != nullptr) {
            const qsizetype at = static_cast<const char*>(newline) - buffer_.data();
            if (at - begin_ > maxLineBytes_)
                return Result::TooLong;
            *line = QByteArray(buffer_.data() + begin_, at - begin_);
            begin_ = at + 1;
            terminated_ = true;
            return Result::Line;
        }
        if (end_ - begin_ > maxLineBytes_)
            return Result::TooLong;
        scanned = end_;
        const qsizetype offset = begin_;
        Result stop = Result::End;
        if (!Fill(&stop)) {
            if (stop == Result::Failed)
                return stop;
            if (end_ == begin_)
                return Result::End;
            // The last line, without its '\n'.
            *line = QByteArray(buffer_.data() + begin_, end_ - begin_);
            begin_ = end_;
            terminated_ = false;
            return Result::Line;
        }
        scanned -= offset;  // Fill moved the unread bytes to the front
    }
}

}  // namespace tolvane
