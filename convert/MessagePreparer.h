// Reads and composes the mail pass's messages ahead of the writer: one thread
// reads the PST through the conversion's one libpff handle (libpff handles are
// not shared between threads), composer threads build the MIME bytes, and the
// writer thread takes the results strictly in record order, so file names,
// numbering and progress stay what a single thread would give.
#pragma once

#include "scan/ItemRecords.h"
#include "convert/MailContent.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// One message of the mail pass, ready to be written. Exactly one of three:
// failed (nothing could be read), composed bytes, or the read message itself
// when attachments stream from the mailbox: the writer then composes it on
// its own thread and GMime reads those attachments while the file is written,
// so no GMime object ever passes from one thread to another.
struct PreparedMessage {
    QString failure;                 // not empty: write nothing, count it as failed
    bool failedForMemory = false;    // the failure was memory running short
    QByteArray bytes;                // the composed EML
    std::optional<MessageContent> streamed;  // set instead of bytes when attachments stream
    std::vector<std::shared_ptr<AttachmentSource>> sources;  // what `streamed` reads while written
    QStringList missing;             // what the written file lacks (it says so itself)
    int embeddedCarried = 0;
};

class MessagePreparer {
public:
    // `messages` and `reader` must outlive the preparer. No reader: every
    // message is composed from its record, marked as rebuilt. `composers`
    // threads; at most `window` messages are read ahead of the writer. When
    // the machine refuses threads, messages are prepared in Take() instead.
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
        std::optional<MessageContent> content;
        QString failure;
        bool failedForMemory = false;
    };
    ReadMessage Read(std::size_t index);
    static PreparedMessage Compose(ReadMessage read);
    void StartThreads(int composers);
    void StopThreads();
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
    bool inline_ = false;  // no threads could be started: Take() prepares each message itself
};

}  // namespace tolvane
