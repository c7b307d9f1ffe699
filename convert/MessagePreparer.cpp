// The mail pass's pipeline. The reader thread reads message i only once the
// writer has taken message i - window, so at most `window` messages (read,
// composed or both) are held at any time.
#include "MessagePreparer.h"

#include "MailboxReader.h"
#include "MimeComposer.h"

#include <algorithm>

namespace tolvane {

MessagePreparer::MessagePreparer(const std::vector<const MailRecord*>& messages, MailboxReader* reader,
                                 int composers, std::size_t window)
    : messages_(messages),
      reader_(reader != nullptr && reader->isOpen() ? reader : nullptr),
      window_(std::max<std::size_t>(window, 1)),
      slots_(window_)
{
    const int composerCount = std::max(composers, 1);
    threads_.reserve(static_cast<std::size_t>(composerCount) + 1);
    threads_.emplace_back([this] { RunReader(); });
    for (int composer = 0; composer < composerCount; ++composer)
        threads_.emplace_back([this] { RunComposer(); });
}

MessagePreparer::~MessagePreparer()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (auto& thread : threads_)
        thread.join();
}

int MessagePreparer::ComposersFor(int cores)
{
    return std::clamp(cores - 1, 1, 4);
}

PreparedMessage MessagePreparer::Take(std::size_t index)
{
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
        const MailRecord& record = *messages_[index];
        std::optional<MessageContent> content;
        if (reader_ != nullptr)
            content = reader_->ReadMessage(record.location);
        if (!content)
            content = ContentFromRecord(record);
        {
            std::lock_guard lock(mutex_);
            toCompose_.push_back(ReadMessage{index, std::move(*content)});
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
        PreparedMessage prepared;
        prepared.embeddedCarried = CountEmbeddedMessages(next.content);
        prepared.bytes = ComposeMessageBytes(next.content);
        next.content = MessageContent();
        {
            std::lock_guard lock(mutex_);
            slots_[next.index % window_] = std::move(prepared);
        }
        changed_.notify_all();
    }
}

}  // namespace tolvane
