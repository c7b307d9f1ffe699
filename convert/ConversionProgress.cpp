// Progress of a conversion as items done out of items to do.
#include "convert/ConversionProgress.h"

#include "convert/ConversionDriver.h"

#include <algorithm>

namespace tolvane {

ConversionProgress::ConversionProgress(ConversionSink* sink, std::int64_t total)
    : sink_(sink)
{
    position_.total = std::max<std::int64_t>(total, 0);
    Tell();
}

void ConversionProgress::ItemTaken(const QString& folder)
{
    ++position_.done;
    position_.folder = folder;
    Tell();
}

void ConversionProgress::SetTotal(std::int64_t total)
{
    position_.total = std::max<std::int64_t>(total, 0);
    Tell();
}

void ConversionProgress::Finish()
{
    position_.total = position_.done;
    position_.folder.clear();
    Tell();
}

void ConversionProgress::Tell()
{
    // Nothing to do is all done.
    const std::int64_t total = position_.total;
    const int percent =
        total == 0 ? 100 : static_cast<int>(std::min<std::int64_t>(position_.done, total) * 100 / total);
    position_.percent = std::max(position_.percent, percent);
    if (sink_ != nullptr)
        sink_->SetProgress(position_);
}

}  // namespace tolvane
