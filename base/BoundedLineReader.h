// Reads a file descriptor line by line without ever holding more than one
// bounded line: verify reads manifests it cannot trust, and a line of
// hundreds of megabytes must end the reading, not fill the memory.
#pragma once

#include <QByteArray>

#include <vector>

namespace tolvane {

class BoundedLineReader {
public:
    enum class Result {
        Line,     // `line` holds the next line, without its '\n'
        End,      // nothing more
        TooLong,  // the next line is longer than the bound; reading stops here
        Failed,   // the descriptor could not be read (errno says why)
    };

    // Reads from `fd`, which stays the caller's.
    BoundedLineReader(int fd, qsizetype maxLineBytes);

    [[nodiscard]] Result Next(QByteArray* line);
    // Whether the last line returned ended with '\n' (a file cut off in the
    // middle of writing ends without one).
    [[nodiscard]] bool lastLineTerminated() const { return terminated_; }

private:
    // More bytes into the buffer; false at the end or on an error.
    bool Fill(Result* stop);

    int fd_;
    qsizetype maxLineBytes_;
    std::vector<char> buffer_;
    qsizetype begin_ = 0;  // unread bytes are buffer_[begin_, end_)
    qsizetype end_ = 0;
    bool finished_ = false;
    bool terminated_ = true;
};

}  // namespace tolvane
