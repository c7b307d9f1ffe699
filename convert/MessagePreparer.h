// Reads and composes the mail pass's messages ahead of the writer: one thread
// reads the PST through the conversion's one libpff handle (libpff handles are
// not shared between threads), composer threads build the MIME bytes, and the
// writer thread takes the results strictly in record order, so file names,
// numbering and progress stay what a single thread would give.
#pragma once

#include "ItemRecords.h"
#include "MailContent.h"

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tolvane {

class MailboxReader;

struct PreparedMessage {
    QByteArray bytes;       // the composed EML
    int embeddedCarried = 0;
};

class MessagePreparer {
public:
    // `messages` and `reader` must outlive the preparer, and nothing else may
    // use the reader meanwhile. No reader (or a closed one): every message is
    // composed from its record. `composers` threads; at most `window` messages
    // are read ahead of the writer.
    MessagePreparer(const std::vector<const MailRecord*>& messages, MailboxReader* reader, int composers,
                    std::size_t window);
    // Stops the helpers at their next message and joins them.
    ~MessagePreparer();
    MessagePreparer(const MessagePreparer&) = delete;
    MessagePreparer& operator=(const MessagePreparer&) = delete;

    // The composed message at `index`; indexes must be taken in order.
    PreparedMessage Take(std::size_t index);

    // The number of composer threads a machine of `cores` cores gets: the
    // reading and the writing threads keep one core busy between them.
    static int ComposersFor(int cores);

private:
    struct ReadMessage {
        std::size_t index = 0;
        MessageContent content;
    };
    void RunReader();
    void RunComposer();

    const std::vector<const MailRecord*>& messages_;
    MailboxReader* const reader_;
    const std::size_t window_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<ReadMessage> toCompose_;                  // read, waiting for a composer
    bool readingDone_ = false;
    std::vector<std::optional<PreparedMessage>> slots_;  // composed, by index % window
    std::size_t taken_ = 0;                              // messages handed to the writer
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

}  // namespace tolvane
