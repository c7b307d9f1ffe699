// The mail pass's pipeline. The reader thread reads message i only once the
// writer has taken message i - window, so at most `window` messages (read,
// composed or both) are held at any time; attachments too large for memory
// are held as sources, not as bytes.
#include "convert/MessagePreparer.h"

#include "convert/MailboxReader.h"
#include "convert/MemoryHeadroom.h"
#include "convert/MimeComposer.h"

#include <algorithm>
#include <system_error>

namespace tolvane {

MessagePreparer::MessagePreparer(const std::vector<const MailRecord*>& messages, MailboxReader* reader,
                                 int composers, std::size_t window)
    : messages_(messages),
      reader_(reader != nullptr && reader->isOpen() ? reader : nullptr),
      window_(std::max<std::size_t>(window, 1)),
      slots_(window_)
{
    StartThreads(std::max(composers, 1));
}

MessagePreparer::~MessagePreparer()
{
    StopThreads();
}

void MessagePreparer::StartThreads(int composers)
{
    threads_.reserve(static_cast<std::size_t>(composers) + 1);
    try {
        threads_.emplace_back([this] { RunReader(); });
        for (int composer = 0; composer < composers; ++composer)
            threads_.emplace_back([this] { RunComposer(); });
    } catch (const std::system_error&) {
        // A machine short of threads or memory still converts, one message at
        // a time on the writer's thread; with a reader but no composer the
        // pipeline could not move, so it is taken down as well.
        if (threads_.size() < 2) {
            StopThreads();
            threads_.clear();
            inline_ = true;
        }
    }
}

void MessagePreparer::StopThreads()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& thread : threads_) {
        if (thread.joinable())
            thread.join();
    }
}

int MessagePreparer::ComposersFor(int cores)
{
    return std::clamp(cores - 1, 1, 4);
}

MessagePreparer::ReadMessage MessagePreparer::Read(std::size_t index)
{
    const MailRecord& record = *messages_[index];
    ReadMessage read;
    read.index = index;
    try {
        if (reader_ != nullptr) {
            MessageRead result = reader_->ReadMessage(record.location);
            read.content = std::move(result.content);
            read.failure = std::move(result.failure);
        } else {
            read.content = ContentFromRecord(record);
        }
    } catch (const std::bad_alloc&) {
        read.content.reset();
        read.failure = QStringLiteral("not enough memory to read the message");
        read.failedForMemory = true;
    }
    return read;
}

PreparedMessage MessagePreparer::Compose(ReadMessage read)
{
    PreparedMessage prepared;
    if (!read.content) {
        prepared.failure = read.failure.isEmpty() ? QStringLiteral("the message could not be read") : read.failure;
        prepared.failedForMemory = read.failedForMemory;
        return prepared;
    }
    try {
        const MessageContent& content = *read.content;
        if (!HasMemoryHeadroom(ComposeFootprint(content))) {
            prepared.failure = QStringLiteral("not enough memory to compose the message");
            prepared.failedForMemory = true;
            return prepared;
        }
        prepared.embeddedCarried = CountEmbeddedMessages(content);
        prepared.missing = content.missing;
        prepared.sources = StreamedSources(content);
        if (!prepared.sources.empty())
            prepared.streamed = std::move(*read.content);
        else
            prepared.bytes = ComposeMessageBytes(content);
    } catch (const std::bad_alloc&) {
        prepared = PreparedMessage();
        prepared.failure = QStringLiteral("not enough memory to compose the message");
        prepared.failedForMemory = true;
    }
    return prepared;
}

PreparedMessage MessagePreparer::Take(std::size_t index)
{
    if (inline_)
        return Compose(Read(index));
    std::unique_lock lock(mutex_);
    auto& slot = slots_[index % window_];
    changed_.wait(lock, [&] { return slot.has_value(); });
    PreparedMessage prepared = std::move(*slot);
    slot.reset();
    taken_ = index + 1;
    lock.unlock();
    changed_.notify_all();
    return prepared;
}

void MessagePreparer::RunReader()
{
    for (std::size_t index = 0; index < messages_.size(); ++index) {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || index < taken_ + window_; });
            if (stopping_)
                break;
        }
        ReadMessage read = Read(index);
        {
            std::lock_guard lock(mutex_);
            toCompose_.push_back(std::move(read));
        }
        changed_.notify_all();
    }
    {
        std::lock_guard lock(mutex_);
        readingDone_ = true;
    }
    changed_.notify_all();
}

void MessagePreparer::RunComposer()
{
    for (;;) {
        ReadMessage next;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [&] { return stopping_ || readingDone_ || !toCompose_.empty(); });
            if (stopping_ || toCompose_.empty())
                return;
            next = std::move(toCompose_.front());
            toCompose_.pop_front();
        }
        const std::size_t index = next.index;
        PreparedMessage prepared = Compose(std::move(next));
        {
            std::lock_guard lock(mutex_);
            slots_[index % window_] = std::move(prepared);
        }
        changed_.notify_all();
    }
}

}  // namespace tolvane
