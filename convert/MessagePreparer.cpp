// The mail pass's pipeline. A worker claims message i only once the writer
// has taken message i - window, so at most `window` messages (read, composed
// or both) are held at any time, and slot i % window is free when it is
// filled; a message with attachments too large for memory is composed into a
// scratch file on the destination's disk, not into memory.
#include "convert/MessagePreparer.h"

#include "convert/MailFeed.h"
#include "convert/read/MailboxReader.h"
#include "convert/MemoryHeadroom.h"
#include "convert/compose/MimeComposer.h"
#include "scan/ScanTexts.h"

#include <algorithm>
#include <system_error>

namespace tolvane {

namespace {

// Beyond this many handles the file system, not the cores, sets the pace, and
// each handle's item tree costs memory in proportion to the mailbox.
constexpr int kMostWorkers = 8;

std::vector<MailboxReader*> OpenOnly(std::vector<MailboxReader*> readers)
{
    for (auto& reader : readers) {
        if (reader != nullptr && !reader->isOpen())
            reader = nullptr;
    }
    if (readers.empty())
        readers.push_back(nullptr);
    return readers;
}

// A message with nothing to write, and why: memory short, or not readable.
WriteError UnreadableBecause(QString reason, bool forMemory)
{
    return WriteError{forMemory ? WriteFailure::ShortOfMemory : WriteFailure::Unreadable, std::move(reason)};
}

// A subject of exactly one space counts as none, as in the list.
MailNaming NamingOf(const MessageContent& content)
{
    return MailNaming{NullIfSpace(CleanSubject(content.subject)), content.subject, content.delivered};
}

// The item's place in the mailbox, which its MIME boundaries are derived from.
QByteArray BoundarySeedOf(const ItemLocation& location)
{
    QByteArray seed = "item " + QByteArray::number(location.itemIdentifier) + ' '
                      + QByteArray::number(static_cast<int>(location.source));
    for (const int index : location.attachmentPath)
        seed += '/' + QByteArray::number(index);
    return seed;
}

}  // namespace

MessagePreparer::MessagePreparer(MailFeed& messages, std::vector<MailboxReader*> readers, std::size_t window,
                                 std::function<Expected<UniqueFd, WriteError>()> scratchFiles, Decide decide)
    : messages_(messages),
      readers_(OpenOnly(std::move(readers))),
      window_(std::max<std::size_t>(window, 1)),
      scratchFiles_(std::move(scratchFiles)),
      decide_(std::move(decide)),
      slots_(window_)
{
    StartThreads();
}

MessagePreparer::~MessagePreparer()
{
    StopThreads();
}

void MessagePreparer::StartThreads()
{
    threads_.reserve(readers_.size());
    try {
        for (MailboxReader* reader : readers_)
            threads_.emplace_back([this, reader] { RunWorker(reader); });
    } catch (const std::system_error&) {
        // A machine short of threads or memory still converts: with the
        // workers that started, or one message at a time on the writer's
        // thread when none did.
        inline_ = threads_.empty();
    }
}

void MessagePreparer::StopThreads()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    roomForMore_.notify_all();
    // A worker may be waiting for a message the walk has not found yet.
    messages_.Close();
    for (auto& thread : threads_) {
        if (thread.joinable())
            thread.join();
    }
}

int MessagePreparer::WorkersFor(int cores)
{
    return std::clamp(cores, 1, kMostWorkers);
}

MessagePreparer::ReadMessage MessagePreparer::Read(MailboxReader* reader, const MailRecord& record)
{
    ReadMessage read;
    try {
        if (reader != nullptr) {
            ItemRead<MessageContent> result = reader->ReadMessage(record.location);
            if (result)
                read.content = std::move(*result);
            else
                read.failure = UnreadableBecause(result.error().reason, result.error().outOfMemory);
            if (read.content && record.location.isRecovered())
                read.content->headerProperties.recovered = true;
            if (read.content)
                read.naming = NamingOf(*read.content);
        } else {
            read.content = ContentFromRecord(record);
        }
        if (read.content)
            read.content->boundarySeed = BoundarySeedOf(record.location);
    } catch (const std::bad_alloc&) {
        // libpff's or Qt's allocation for this message failed: it alone is lost.
        read.content.reset();
        read.failure = UnreadableBecause(QStringLiteral("not enough memory to read the message"), true);
    }
    return read;
}

namespace {

// Composes `content`, whose attachments stream from the mailbox, into a
// scratch file from `scratchFiles`. A file holds an attachment only when
// every byte of it was read.
Expected<UniqueFd, ComposeError> ComposeIntoScratchFile(
    const MessageContent& content, const std::function<Expected<UniqueFd, WriteError>()>& scratchFiles)
{
    if (!scratchFiles)
        return Failed(ComposeError{QStringLiteral("no place to compose a message this large")});
    Expected<UniqueFd, WriteError> made = scratchFiles();
    if (!made)
        return Failed(ComposeError{made.error().reason});
    UniqueFd file = std::move(*made);
    const std::vector<std::shared_ptr<AttachmentSource>> sources = StreamedSources(content);
    const auto message = ComposeMessage(content);
    const auto written = WriteMessageToDescriptor(message.get(), file.get());
    // A read that failed stopped the writing: its own reason is the one to
    // give; else the scratch file's (a full disk).
    for (const auto& source : sources) {
        if (!source->failure().isEmpty() || (written && !source->readWhole())) {
            const QString failure = source->failure();
            return Failed(ComposeError{QStringLiteral("an attachment could not be read: ")
                                       + (failure.isEmpty() ? QStringLiteral("its data ended early") : failure)});
        }
    }
    if (!written)
        return Failed(written.error());
    return file;
}

}  // namespace

PreparedMessage MessagePreparer::Compose(ReadMessage read) const
{
    PreparedMessage prepared;
    prepared.naming = std::move(read.naming);
    if (!read.content) {
        prepared.failure = read.failure ? std::move(read.failure) : UnreadableBecause(QString(), false);
        if (prepared.failure->reason.isEmpty())
            prepared.failure->reason = QStringLiteral("the message could not be read");
        return prepared;
    }
    try {
        const MessageContent& content = *read.content;
        if (!HasMemoryHeadroom(ComposeFootprint(content))) {
            prepared.failure = UnreadableBecause(QStringLiteral("not enough memory to compose the message"), true);
            return prepared;
        }
        prepared.embeddedCarried = CountEmbeddedMessages(content);
        prepared.missing = content.missing;
        prepared.sender = content.from ? content.from->addrSpec() : std::nullopt;
        prepared.date = content.date;
        prepared.messageId = WrittenMessageId(content);
        prepared.state = content.state;
        prepared.fingerprint = content.fingerprint;
        if (!StreamedSources(content).empty()) {
            auto spilled = ComposeIntoScratchFile(content, scratchFiles_);
            if (!spilled) {
                prepared.failure = UnreadableBecause(spilled.error().reason, false);
                return prepared;
            }
            prepared.digest = DigestOfFile(spilled->get());
            if (!prepared.digest) {
                prepared.failure =
                    UnreadableBecause(QStringLiteral("the composed message cannot be read back"), false);
                return prepared;
            }
            prepared.spilled = std::move(*spilled);
        } else {
            // The read content is not needed past this: its bodies go as they are encoded.
            auto composed = ComposeMessageBytes(std::move(*read.content));
            if (!composed) {
                prepared.failure = UnreadableBecause(composed.error().reason, false);
                return prepared;
            }
            prepared.bytes = std::move(*composed);
            prepared.digest = DigestOf(prepared.bytes);
        }
    } catch (const std::bad_alloc&) {
        std::optional<MailNaming> naming = std::move(prepared.naming);
        prepared = PreparedMessage();
        prepared.naming = std::move(naming);
        prepared.failure = UnreadableBecause(QStringLiteral("not enough memory to compose the message"), true);
    }
    return prepared;
}

PreparedMessage MessagePreparer::Prepare(MailboxReader* reader, const MailRecord& record, std::size_t index) const
{
    if (decide_) {
        MailDecision decision = decide_(index);
        if (decision.action == MailAction::Keep) {
            PreparedMessage kept;
            kept.decision = std::move(decision);
            return kept;
        }
    }
    return Compose(Read(reader, record));
}

PreparedMessage MessagePreparer::Take(std::size_t index)
{
    if (inline_) {
        const std::shared_ptr<const MailRecord> record = messages_.WaitFor(index);
        if (!record) {
            PreparedMessage unlisted;
            unlisted.failure = UnreadableBecause(QStringLiteral("the message is no longer listed"), false);
            return unlisted;
        }
        return Prepare(readers_.front(), *record, index);
    }
    std::unique_lock lock(mutex_);
    auto& slot = slots_[index % window_];
    nextComposed_.wait(lock, [&] { return slot.has_value(); });
    PreparedMessage prepared = std::move(*slot);
    slot.reset();
    taken_ = index + 1;
    lock.unlock();
    // One message more may be claimed now: one worker is enough to take it.
    roomForMore_.notify_one();
    return prepared;
}

void MessagePreparer::RunWorker(MailboxReader* reader)
{
    for (;;) {
        std::size_t index = 0;
        {
            std::unique_lock lock(mutex_);
            roomForMore_.wait(lock, [&] { return stopping_ || feedEnded_ || claimed_ < taken_ + window_; });
            if (stopping_ || feedEnded_)
                return;
            index = claimed_++;
        }
        // Waits, outside the lock, for the walk to find message `index`.
        const std::shared_ptr<const MailRecord> record = messages_.WaitFor(index);
        if (!record) {
            {
                std::lock_guard lock(mutex_);
                feedEnded_ = true;
            }
            roomForMore_.notify_all();
            return;
        }
        PreparedMessage prepared = Prepare(reader, *record, index);
        bool writerWaitsForIt = false;
        {
            std::lock_guard lock(mutex_);
            slots_[index % window_] = std::move(prepared);
            writerWaitsForIt = index == taken_;
        }
        // The writer only ever waits for the message after the last one it
        // took; waking it for any other would cost a wake-up for nothing.
        if (writerWaitsForIt)
            nextComposed_.notify_one();
    }
}

}  // namespace tolvane
