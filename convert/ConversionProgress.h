// How far a conversion is: the items taken on (written or not) out of all it
// will go through, told to the sink as a position from 0 to 100 that only
// ever grows, and only when it changes.
#pragma once

#include <cstdint>

namespace tolvane {

class ConversionSink;

class ConversionProgress {
public:
    ConversionProgress(ConversionSink* sink, std::int64_t total);
    // One more item taken on: every pass calls it once before each item.
    void ItemTaken();
    // The total as now known: a conversion that walks the mailbox as it
    // writes starts from the folders' own counts and learns the real one
    // when the walk ends. The position told never goes back.
    void SetTotal(std::int64_t total);
    std::int64_t done() const { return done_; }

private:
    void Tell();

    ConversionSink* sink_;
    std::int64_t total_;
    std::int64_t done_ = 0;
    int told_ = -1;
};

}  // namespace tolvane
