// The growing list of the mail pass's messages.
#include "convert/MailFeed.h"

namespace tolvane {

MailFeed::MailFeed(RecordList<MailRecord> records) : records_(std::move(records)), closed_(true) {}

void MailFeed::Append(std::shared_ptr<const MailRecord> record)
{
    {
        std::lock_guard lock(mutex_);
        if (closed_)
            return;
        records_.push_back(std::move(record));
    }
    grown_.notify_all();
}

void MailFeed::Close()
{
    {
        std::lock_guard lock(mutex_);
        closed_ = true;
    }
    grown_.notify_all();
}

std::shared_ptr<const MailRecord> MailFeed::WaitFor(std::size_t index)
{
    std::unique_lock lock(mutex_);
    grown_.wait(lock, [&] { return closed_ || index < records_.size(); });
    return index < records_.size() ? records_[index] : nullptr;
}

void MailFeed::Release(std::size_t index)
{
    std::lock_guard lock(mutex_);
    if (index < records_.size())
        records_[index].reset();
}

std::size_t MailFeed::size() const
{
    std::lock_guard lock(mutex_);
    return records_.size();
}

bool MailFeed::closed() const
{
    std::lock_guard lock(mutex_);
    return closed_;
}

}  // namespace tolvane
