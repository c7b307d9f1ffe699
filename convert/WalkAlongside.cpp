// The walk of the items beside the conversion, and what it hands on.
#include "convert/WalkAlongside.h"

#include "convert/MailFeed.h"
#include "scan/FolderPaths.h"
#include "scan/ScanEvents.h"
#include "scan/WorkerGate.h"

#include <algorithm>
#include <system_error>

namespace tolvane {

// What the walk tells the conversion: the mail it finds, and its end.
class WalkAlongside::Feeding final : public ScanEvents {
public:
    Feeding(FolderSelection selected, MailFeed& feed) : selected_(std::move(selected)), feed_(feed) {}

    void MailFound(const MailRecord& record) override
    {
        // Embedded messages travel inside their parents' files.
        if (record.location.isEmbedded() || !selected_.Takes(record.folderKey))
            return;
        feed_.Append(std::make_shared<const MailRecord>(record));
    }
    void Ended() { feed_.Close(); }

private:
    const FolderSelection selected_;
    MailFeed& feed_;
};

WalkAlongside::WalkAlongside(const ItemWalk& walk, const FolderSelection& selected, MailFeed& feed)
    : walk_(walk), feeding_(std::make_unique<Feeding>(selected, feed))
{
    const auto run = [this] {
        outcome_ = walk_.run(*feeding_);
        feeding_->Ended();
    };
    try {
        thread_ = std::thread(run);
    } catch (const std::system_error&) {
        run();
    }
}

WalkAlongside::~WalkAlongside()
{
    if (thread_.joinable()) {
        Abandon();
        thread_.join();
    }
}

ScanOutcome WalkAlongside::Finish()
{
    if (thread_.joinable())
        thread_.join();
    return outcome_.value_or(ScanOutcome::ScanFailed);
}

void WalkAlongside::Abandon()
{
    if (walk_.gate != nullptr)
        walk_.gate->Abandon();
}

}  // namespace tolvane
