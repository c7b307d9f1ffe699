// The mail pass's messages as they become known. A conversion that walks the
// mailbox while it writes appends each top-level mail the walk finds, and the
// pass reads and writes the first ones while the walk goes on; a conversion
// of a finished scan hands them all over at once. Shared by the walking
// thread (the only one that appends), the pass's read-ahead workers and the
// writer thread.
#pragma once

#include "model/ItemRecords.h"
#include "scan/ItemStore.h"

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <vector>

namespace tolvane {

class MailFeed {
public:
    MailFeed() = default;
    // Every record at once, already closed.
    explicit MailFeed(RecordList<MailRecord> records);
    MailFeed(const MailFeed&) = delete;
    MailFeed& operator=(const MailFeed&) = delete;

    // One more message, after all those appended before; ignored once closed.
    void Append(std::shared_ptr<const MailRecord> record);
    // No more will come: whoever waits past the end is told so.
    void Close();

    // The record at `index`, waiting until it is known; null when the feed
    // was closed before it got that far.
    [[nodiscard]] std::shared_ptr<const MailRecord> WaitFor(std::size_t index);
    // The record at `index` is done with: the feed lets go of it, so a walk
    // far ahead of the writer does not keep every record twice.
    void Release(std::size_t index);

    // How many have been appended so far, and whether that is all.
    std::size_t size() const;
    bool closed() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable grown_;
    std::vector<std::shared_ptr<const MailRecord>> records_;
    bool closed_ = false;
};

}  // namespace tolvane
