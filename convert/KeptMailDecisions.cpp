// Deciding, in the mail pass's order, which messages keep their file; see
// KeptMailDecisions.h.
#include "convert/KeptMailDecisions.h"

#include "convert/ItemOutcomes.h"
#include "convert/output/ResumePlan.h"

namespace tolvane {

KeptMailDecisions::KeptMailDecisions(const ResumePlan& plan, MailFeed& feed, const FolderPaths* folders)
    : plan_(plan), feed_(feed), folders_(folders)
{
}

MailDecision KeptMailDecisions::DecisionFor(std::size_t index)
{
    std::lock_guard lock(mutex_);
    for (; decided_ <= index; ++decided_) {
        const std::shared_ptr<const MailRecord> record = feed_.WaitFor(decided_);
        if (!record)
            break;
        const std::optional<QString> file = plan_.KeptMail(ManifestFolderOf(folders_, record->folderKey),
                                                           record->location.itemIdentifier, record->location.source);
        if (file && taken_.insert(*file).second)
            kept_.emplace(decided_, *file);
    }
    const auto found = kept_.find(index);
    if (found == kept_.end())
        return MailDecision{};
    return MailDecision{MailAction::Keep, found->second};
}

}  // namespace tolvane
