// Which count each item moves, its manifest line, and the
// problem lines (kept in the summary too, the first few of each kind).
#include "convert/ItemOutcomes.h"

#include "convert/ConversionDriver.h"
#include "scan/FolderPaths.h"

#include <algorithm>

namespace tolvane {

namespace {

constexpr int kReportedFailures = 5;

// Kinds whose items are counted and reported on their own (an attachment
// file goes with its event).
bool CountedAlone(OutcomeKind kind)
{
    return kind != OutcomeKind::Attachment;
}

QString KindText(OutcomeKind kind)
{
    switch (kind) {
    case OutcomeKind::Mail: return QStringLiteral("mail");
    case OutcomeKind::Contact: return QStringLiteral("contact");
    case OutcomeKind::DistributionList: return QStringLiteral("distribution list");
    case OutcomeKind::Appointment: return QStringLiteral("appointment");
    case OutcomeKind::Task: return QStringLiteral("task");
    case OutcomeKind::Note: return QStringLiteral("note");
    case OutcomeKind::JournalEntry: return QStringLiteral("journal entry");
    case OutcomeKind::Attachment: return QStringLiteral("attachment");
    case OutcomeKind::EmbeddedMail: return QStringLiteral("embedded mail");
    case OutcomeKind::CalendarFile: return QStringLiteral("calendar file");
    }
    return QStringLiteral("item");
}

// Where a calendar file's manifest lines put each kind.
int CalendarRank(OutcomeKind kind)
{
    switch (kind) {
    case OutcomeKind::Appointment: return 0;
    case OutcomeKind::Task: return 1;
    default: return 2;
    }
}

// A recovered message's outcome, its damage named by what it lacks.
void CountRecovered(ConversionSummary::RecoveredMail& recovered, bool saved, const MissingParts& missing)
{
    if (!saved) {
        ++recovered.failed;
        return;
    }
    ++recovered.saved;
    if (missing.empty())
        return;
    ++(missing.anyAttachment() ? recovered.missingAttachments : recovered.otherwiseIncomplete);
}

}  // namespace

ItemOutcomes::ItemOutcomes(ConversionSummary& summary, ConversionSink& problems, ManifestWriter* manifest,
                           const FolderPaths* folders)
    : summary_(summary), problems_(problems), manifest_(manifest), folders_(folders)
{
}

QString ManifestFolderOf(const FolderPaths* folders, const QString& folderKey)
{
    return folders != nullptr ? folders->StoredPathOf(folderKey)
                              : folderKey.split(u'\\', Qt::SkipEmptyParts).join(u'/');
}

ManifestEntry ItemOutcomes::EntryFor(const QString& folderKey, uint32_t identifier, const QString& subject,
                                     ItemSource source) const
{
    ManifestEntry entry;
    entry.source = source;
    entry.folder = ManifestFolderOf(folders_, folderKey);
    entry.identifier = identifier;
    entry.subject = subject;
    return entry;
}

void ItemOutcomes::Record(ItemOutcome item, const SaveResult& result)
{
    AddToManifest(item, result);
    Count(item, result);
    if (!CountedAlone(item.kind))
        return;  // reported with the item it belongs to
    if (!result)
        NoteFailure(item.label, result.error().reason);
    else if (!item.missing.empty())
        NoteIncomplete(item.label, item.missing);
}

void ItemOutcomes::RecordCalendarFile(std::vector<ItemInFile> items, const SaveResult& file, const QString& fileLabel)
{
    std::vector<const ItemInFile*> listed;
    for (const ItemInFile& inFile : items)
        listed.push_back(&inFile);
    std::stable_sort(listed.begin(), listed.end(), [](const ItemInFile* left, const ItemInFile* right) {
        return CalendarRank(left->item.kind) < CalendarRank(right->item.kind);
    });
    for (const ItemInFile* inFile : listed)
        AddToManifest(inFile->item, inFile->result);
    for (const ItemInFile& inFile : items)
        Count(inFile.item, inFile.result);
    if (!file) {
        NoteFailure(fileLabel, file.error().reason);
        return;
    }
    summary_.counts.Add(OutcomeKind::CalendarFile, ItemResult::Complete);
    for (const ItemInFile& inFile : items) {
        if (inFile.result && !inFile.item.missing.empty())
            NoteIncomplete(inFile.item.label, inFile.item.missing);
    }
}

void ItemOutcomes::RecordKept(OutcomeKind kind)
{
    summary_.counts.Add(kind, ItemResult::Complete);
}

void ItemOutcomes::CountNotWritten(OutcomeKind kind, int count)
{
    summary_.counts.Add(kind, ItemResult::Failed, count);
}

void ItemOutcomes::AddToManifest(const ItemOutcome& item, const SaveResult& result)
{
    if (manifest_ == nullptr)
        return;
    ManifestEntry entry = item.entry;
    entry.kind = KindText(item.kind);
    if (result) {
        entry.offset = result->offset;
        entry.size = result->digest.size;
        entry.sha256 = result->digest.sha256;
        manifest_->Add(std::move(entry), result->path);
    } else {
        entry.failure = result.error().reason.isEmpty() ? QStringLiteral("not written") : result.error().reason;
        manifest_->Add(std::move(entry));
    }
}

void ItemOutcomes::Count(const ItemOutcome& item, const SaveResult& result)
{
    if (!result)
        summary_.memoryShort = summary_.memoryShort || result.error().kind == WriteFailure::ShortOfMemory;
    if (CountedAlone(item.kind)) {
        const ItemResult outcome = !result                 ? ItemResult::Failed
                                   : item.missing.empty() ? ItemResult::Complete
                                                          : ItemResult::Incomplete;
        summary_.counts.Add(item.kind, outcome);
    }
    if (item.kind != OutcomeKind::Mail)
        return;
    if (result)
        summary_.counts.Add(OutcomeKind::EmbeddedMail, ItemResult::Complete, item.embeddedCarried);
    if (item.entry.source != ItemSource::Live)
        CountRecovered(summary_.recovered, result.has_value(), item.missing);
}

void ItemOutcomes::NoteFailure(const QString& label, const QString& reason)
{
    const QString line = QStringLiteral("%1: %2").arg(label, reason);
    if (summary_.firstFailures.size() < kReportedFailures)
        summary_.firstFailures << line;
    problems_.ReportProblem(QStringLiteral("not saved: ") + line);
}

void ItemOutcomes::NoteIncomplete(const QString& label, const MissingParts& missing)
{
    const QString line = QStringLiteral("%1: missing %2").arg(label, WordsFor(missing).join(QStringLiteral("; ")));
    if (summary_.firstIncomplete.size() < kReportedFailures)
        summary_.firstIncomplete << line;
    problems_.ReportProblem(QStringLiteral("saved incomplete: ") + line);
}

}  // namespace tolvane
