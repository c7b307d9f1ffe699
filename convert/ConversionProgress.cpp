// Progress of a conversion as items done out of items to do.
#include "convert/ConversionProgress.h"

#include "convert/ConversionDriver.h"

#include <algorithm>

namespace tolvane {

ConversionProgress::ConversionProgress(ConversionSink* sink, std::int64_t total)
    : sink_(sink)
    , total_(std::max<std::int64_t>(total, 0))
{
    Tell();
}

void ConversionProgress::ItemTaken()
{
    ++done_;
    Tell();
}

void ConversionProgress::SetTotal(std::int64_t total)
{
    total_ = std::max<std::int64_t>(total, 0);
    Tell();
}

void ConversionProgress::Tell()
{
    // Nothing to do is all done.
    const int position = total_ == 0 ? 100 : static_cast<int>(std::min<std::int64_t>(done_, total_) * 100 / total_);
    if (position <= told_ || sink_ == nullptr)
        return;
    told_ = position;
    sink_->SetProgress(position);
}

}  // namespace tolvane
