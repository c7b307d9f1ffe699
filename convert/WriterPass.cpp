// The writer passes' shared steps (WriterPass.h).
#include "convert/WriterPass.h"


namespace tolvane {

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
