// Reads and composes the mail pass's messages ahead of the writer: each
// worker thread owns one libpff handle on the mailbox (a handle is never used
// by two threads at once), takes the next message not yet claimed, reads it
// and builds its MIME bytes; the writer thread takes the results strictly in
// record order, so file names, numbering and progress stay what a single
// thread would give whatever the number of workers. The messages come from a
// MailFeed, which may still be growing while the first ones are written.
#pragma once

#include "convert/KeptMailDecisions.h"
#include "model/ItemRecords.h"
#include "model/MailContent.h"
#include "convert/output/Manifest.h"
#include "convert/output/SaveResult.h"
#include "base/UniqueFd.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace tolvane {

class MailFeed;
class MailboxReader;

// What names and dates a mail's file, and the subject the manifest gives,
// taken from the one read of it.
struct MailNaming {
    QString subject;                     // cleaned for a file name; null: none
    QString storedSubject;               // as the message holds it, unchanged: what the manifest says
    std::optional<QDateTime> delivered;  // when it arrived
};

// One message of the mail pass, ready to be written. Exactly one of three:
// failed (nothing could be read), composed bytes, or, when attachments too
// large for memory stream from the mailbox, the composed message in a scratch
// file the worker wrote it into: the writer then only copies finished bytes
// and never reads the mailbox itself.
struct PreparedMessage {
    MailDecision decision;           // Keep: a resumed run keeps the stopped run's file; nothing else is set
    // Set: write nothing, count it as failed (ShortOfMemory when memory ran
    // short, else Unreadable).
    std::optional<WriteError> failure;
    QByteArray bytes;                // the composed EML
    UniqueFd spilled;                // set instead of bytes: a scratch file holding the composed EML
    MissingParts missing;            // what the written file lacks (it says so itself)
    int embeddedCarried = 0;
    // What the formats that keep it outside the message need, and the manifest.
    std::optional<AddrSpec> sender;  // the sender's address, when it is one
    std::optional<QDateTime> date;   // the Date the message carries (UTC)
    QString messageId;               // as written, without angle brackets; empty when none
    MessageState state;
    // From the read; absent when the message could not be read or was
    // rebuilt from its record, whose own are then used.
    std::optional<MailNaming> naming;
    // The size and SHA-256 of the composed EML, worked out by the worker that
    // composed it, so the writer thread does not hash every file it writes.
    std::optional<FileDigest> digest;
    // The fingerprint of the item it was read from, for the manifest.
    QByteArray fingerprint;
};

class MessagePreparer {
public:
    // One worker per entry of `readers`; `messages` and the readers must
    // outlive the preparer, which closes the feed when it ends: a worker
    // waiting for a message the walk has not found yet then stops waiting. A null (or closed) reader: that worker composes
    // each message from its record, marked as rebuilt. At most `window`
    // messages are read ahead of the writer. When the machine refuses
    // threads, the workers that did start carry on alone; when none did,
    // messages are prepared in Take() with the first reader.
    // `scratchFiles` makes the files messages with streamed attachments are
    // composed into (from the workers' threads); without it they fail.
    // `decide` (called from the workers' threads with the message's index
    // in the feed, once per message) says which messages a resumed run
    // keeps from the stopped one (KeptMailDecisions): they are not read, and
    // come out with that decision; without it every message is written.
    using Decide = std::function<MailDecision(std::size_t index)>;
    MessagePreparer(MailFeed& messages, std::vector<MailboxReader*> readers, std::size_t window,
                    std::function<Expected<UniqueFd, WriteError>()> scratchFiles = {}, Decide decide = {});
    // Stops the helpers at their next message and joins them.
    ~MessagePreparer();
    MessagePreparer(const MessagePreparer&) = delete;
    MessagePreparer& operator=(const MessagePreparer&) = delete;

    // The composed message at `index`, whose record the caller has had from
    // the feed; indexes must be taken in order.
    PreparedMessage Take(std::size_t index);

    // The number of workers (and so libpff handles) a machine of `cores`
    // cores gets: one per core, since the writer thread spends its time in
    // the file system's calls. Each handle holds the mailbox's item tree, so
    // the driver opens fewer where their memory would be too much.
    static int WorkersFor(int cores);

private:
    struct ReadMessage {
        std::optional<MessageContent> content;
        std::optional<MailNaming> naming;
        std::optional<WriteError> failure;  // set when there is no content
    };
    static ReadMessage Read(MailboxReader* reader, const MailRecord& record);
    PreparedMessage Compose(ReadMessage read) const;
    // The message composed, or the decision to keep it.
    PreparedMessage Prepare(MailboxReader* reader, const MailRecord& record, std::size_t index) const;
    void StartThreads();
    void StopThreads();
    void RunWorker(MailboxReader* reader);

    MailFeed& messages_;
    const std::vector<MailboxReader*> readers_;  // open ones; null: from the record
    const std::size_t window_;
    const std::function<Expected<UniqueFd, WriteError>()> scratchFiles_;
    const Decide decide_;

    std::mutex mutex_;
    std::condition_variable nextComposed_;  // the writer waits for message `taken_`
    std::condition_variable roomForMore_;   // workers wait for the window to move on
    std::size_t claimed_ = 0;                            // messages a worker has taken on
    std::vector<std::optional<PreparedMessage>> slots_;  // composed, by index % window
    std::size_t taken_ = 0;                              // messages handed to the writer
    bool stopping_ = false;
    bool feedEnded_ = false;  // a worker found the end of the feed: nothing more to claim
    std::vector<std::thread> threads_;
    bool inline_ = false;  // no threads could be started: Take() prepares each message itself
};

}  // namespace tolvane
