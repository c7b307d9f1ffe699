// How far a conversion is: the items taken on (written or not) out of all it
// will go through, and the folder being written, told to the sink on every
// item. The percentage told only ever grows, and reaches 100 when a run
// that was not cut short ends.
#pragma once

#include <QString>

#include <cstdint>

namespace tolvane {

class ConversionSink;

struct ConversionPosition {
    std::int64_t done = 0;   // items taken on, counting up by one
    std::int64_t total = 0;  // as now known: it may still change while the walk goes on
    int percent = 0;         // 0 to 100, never lower than the last one told
    QString folder;          // the mailbox folder of the item being written
};

class ConversionProgress {
public:
    ConversionProgress(ConversionSink* sink, std::int64_t total);
    // One more item taken on, in `folder`: every pass calls it once before each item.
    void ItemTaken(const QString& folder);
    // The total as now known: a conversion that walks the mailbox as it
    // writes starts from the folders' own counts and learns the real one
    // when the walk ends. The position told never goes back.
    void SetTotal(std::int64_t total);
    // The run went through everything: what was taken on is the total.
    void Finish();
    std::int64_t done() const { return position_.done; }

private:
    void Tell();

    ConversionSink* sink_;
    ConversionPosition position_;
};

}  // namespace tolvane
