// The one place where what became of an item is written down: its line in
// the manifest, its counts in the run's summary and, when it was not saved or
// saved without something, its problem line. The passes read, compose and
// save; they hand each item's outcome here and do none of this themselves.
#pragma once

#include "convert/ItemCounts.h"
#include "model/MissingParts.h"
#include "convert/output/Manifest.h"
#include "convert/output/SaveResult.h"
#include "model/ItemRecords.h"

#include <QString>

#include <cstdint>
#include <vector>

namespace tolvane {

class ConversionSink;
class FolderPaths;
struct ConversionSummary;

// One item as its pass knows it, apart from its save.
struct ItemOutcome {
    OutcomeKind kind = OutcomeKind::Mail;
    // Its manifest line so far (ItemOutcomes::EntryFor): the kind, where it
    // was saved and why it was not are filled in from the outcome.
    ManifestEntry entry;
    QString label;          // how the problem lines name it
    MissingParts missing;   // what it was saved without
    int embeddedCarried = 0;  // mail: the embedded messages written inside it
};

// One item of a file several items share, with what became of it: the
// file's save, or why it was left out of the file.
struct ItemInFile {
    ItemOutcome item;
    SaveResult result;
};

// A folder as the manifest names it: the names the mailbox stores, joined by
// "/" (the key's own components where `folders` is null).
[[nodiscard]] QString ManifestFolderOf(const FolderPaths* folders, const QString& folderKey);

class ItemOutcomes {
public:
    // `manifest` may be null (no manifest); `folders` too (folder keys are
    // then turned into paths as they are).
    ItemOutcomes(ConversionSummary& summary, ConversionSink& problems, ManifestWriter* manifest,
                 const FolderPaths* folders);

    // The first fields of an item's manifest line.
    [[nodiscard]] ManifestEntry EntryFor(const QString& folderKey, uint32_t identifier, const QString& subject,
                                         ItemSource source = ItemSource::Live) const;

    // An item saved, or not, as a file or message of its own; an item that
    // could not be read comes here as not saved (WriteFailure::Unreadable).
    void Record(ItemOutcome item, const SaveResult& result);

    // The items of one folder's calendar file, in the order they were read.
    // The manifest lists its appointments, then its tasks, then its notes;
    // the problem lines follow the order read, and a file not saved is one
    // problem line for all of them.
    void RecordCalendarFile(std::vector<ItemInFile> items, const SaveResult& file, const QString& fileLabel);

    // An item a stopped run wrote and this resumed one keeps: its manifest
    // line is already there; it counts as saved.
    void RecordKept(OutcomeKind kind);

    // Items of `kind` not written and not listed (a folder none of whose
    // items a calendar can hold): counted only.
    void CountNotWritten(OutcomeKind kind, int count);

private:
    void AddToManifest(const ItemOutcome& item, const SaveResult& result);
    void Count(const ItemOutcome& item, const SaveResult& result);
    void NoteFailure(const QString& label, const QString& reason);
    void NoteIncomplete(const QString& label, const MissingParts& missing);

    ConversionSummary& summary_;
    ConversionSink& problems_;
    ManifestWriter* manifest_;
    const FolderPaths* folders_;
};

}  // namespace tolvane
