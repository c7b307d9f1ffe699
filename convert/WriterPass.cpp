// The writer passes' shared steps (WriterPass.h).
#include "convert/WriterPass.h"

#include "convert/ConversionProgress.h"
#include "scan/WorkerGate.h"

namespace tolvane {

bool PassCheckpoint(WriterContext& context, const QString& folder)
{
    if (context.gate != nullptr && !context.gate->Checkpoint())
        return false;
    if (context.stopRequested != nullptr && context.stopRequested->load()) {
        context.summary->interrupted = true;
        return false;
    }
    if (context.progress != nullptr)
        context.progress->ItemTaken(folder);
    return true;
}

ItemOutcomes OutcomesOf(WriterContext& context)
{
    return ItemOutcomes(*context.summary, *context.sink, context.manifest, context.folders);
}

OutcomeKind OutcomeKindOf(OtherItemEntry::Kind kind)
{
    switch (kind) {
    case OtherItemEntry::Kind::Task: return OutcomeKind::Task;
    case OtherItemEntry::Kind::Note: return OutcomeKind::Note;
    case OtherItemEntry::Kind::Journal: return OutcomeKind::JournalEntry;
    case OtherItemEntry::Kind::DistributionList: return OutcomeKind::DistributionList;
    }
    return OutcomeKind::Note;
}

QString OtherItemLabel(const OtherItemEntry& entry)
{
    switch (entry.kind) {
    case OtherItemEntry::Kind::Task: return QStringLiteral("a task of %1").arg(entry.folderKey);
    case OtherItemEntry::Kind::Note: return QStringLiteral("a note of %1").arg(entry.folderKey);
    case OtherItemEntry::Kind::Journal: return QStringLiteral("a journal entry of %1").arg(entry.folderKey);
    case OtherItemEntry::Kind::DistributionList: return QStringLiteral("a distribution list of %1").arg(entry.folderKey);
    }
    return entry.folderKey;
}

}  // namespace tolvane
