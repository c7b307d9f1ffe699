// Recovery: the deleted items a file still holds in its free space and index
// slack, and the items whose folder no longer exists. Each source becomes a
// folder of its own at the end of the tree; only items with user content
// (mail, appointments, contacts, tasks, notes, journal entries, lists) become
// records, the rest is counted. A recovered item that is the same message as
// a live one is counted as a duplicate; an earlier version is kept.
#include "scan/ExportHandle.h"

#include "scan/ItemStore.h"
#include "scan/PffDataBlocks.h"
#include "scan/PffHandles.h"
#include "scan/PffProperties.h"
#include "scan/RecoveryReport.h"
#include "scan/ScanEvents.h"
#include "scan/ScanTexts.h"
#include "scan/WorkerGate.h"

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tolvane {

namespace {

const QString kRecoveredFolderName = QStringLiteral("Recovered items");
const QString kOrphanFolderName = QStringLiteral("Orphan items");

// Which count an item of a libpff type goes to; null for the types without
// user content (folders, internal tables, free/busy data, configuration).
int RecoveryTally::*TallyOf(uint8_t type)
{
    switch (type) {
    case LIBPFF_ITEM_TYPE_EMAIL:
    case LIBPFF_ITEM_TYPE_EMAIL_SMIME:
    case LIBPFF_ITEM_TYPE_MEETING:
        return &RecoveryTally::mail;
    case LIBPFF_ITEM_TYPE_APPOINTMENT: return &RecoveryTally::appointments;
    case LIBPFF_ITEM_TYPE_CONTACT: return &RecoveryTally::contacts;
    case LIBPFF_ITEM_TYPE_TASK: return &RecoveryTally::tasks;
    case LIBPFF_ITEM_TYPE_NOTE: return &RecoveryTally::notes;
    case LIBPFF_ITEM_TYPE_ACTIVITY: return &RecoveryTally::journal;
    case LIBPFF_ITEM_TYPE_DISTRIBUTION_LIST: return &RecoveryTally::lists;
    default: return nullptr;
    }
}

// Whether an identifier names a message (normal or folder-associated) by
// the node type in its low five bits. Only a hint: some writers number
// messages otherwise.
bool IsMessageNode(uint32_t identifier)
{
    constexpr uint32_t kNormalMessage = 0x04;
    constexpr uint32_t kAssociatedMessage = 0x08;
    const uint32_t nodeType = identifier & 0x1F;
    return nodeType == kNormalMessage || nodeType == kAssociatedMessage;
}

// Whether two items hold the same properties, value for value, and the same
// number of attachments. Anything that cannot be read makes them differ:
// keeping a copy too many is better than losing an earlier version.
bool SameProperties(libpff_item_t* first, libpff_item_t* second)
{
    int firstSets = 0, secondSets = 0;
    if (libpff_item_get_number_of_record_sets(first, &firstSets, nullptr) != 1 ||
        libpff_item_get_number_of_record_sets(second, &secondSets, nullptr) != 1 || firstSets != secondSets)
        return false;
    for (int set = 0; set < firstSets; ++set) {
        PffRecordSet a, b;
        if (libpff_item_get_record_set_by_index(first, set, a.out(), nullptr) != 1 ||
            libpff_item_get_record_set_by_index(second, set, b.out(), nullptr) != 1)
            return false;
        int entries = 0, otherEntries = 0;
        if (libpff_record_set_get_number_of_entries(a.get(), &entries, nullptr) != 1 ||
            libpff_record_set_get_number_of_entries(b.get(), &otherEntries, nullptr) != 1 || entries != otherEntries)
            return false;
        for (int index = 0; index < entries; ++index) {
            PffRecordEntry x, y;
            if (libpff_record_set_get_entry_by_index(a.get(), index, x.out(), nullptr) != 1 ||
                libpff_record_set_get_entry_by_index(b.get(), index, y.out(), nullptr) != 1)
                return false;
            uint32_t tagX = 0, tagY = 0;
            const auto valueX = EntryValue(x.get());
            const auto valueY = EntryValue(y.get());
            if (!valueX || !valueY || libpff_record_entry_get_entry_type(x.get(), &tagX, nullptr) != 1
                || libpff_record_entry_get_entry_type(y.get(), &tagY, nullptr) != 1 || tagX != tagY
                || valueX->valueType != valueY->valueType || valueX->data != valueY->data)
                return false;
        }
    }
    int firstAttachments = 0, secondAttachments = 0;
    const int firstRead = libpff_message_get_number_of_attachments(first, &firstAttachments, nullptr);
    const int secondRead = libpff_message_get_number_of_attachments(second, &secondAttachments, nullptr);
    return firstRead == secondRead && firstAttachments == secondAttachments;
}

// True when the live mailbox holds an item with the recovered item's
// identifier and the same properties.
bool DuplicatesLiveItem(libpff_file_t* file, libpff_item_t* recovered, uint32_t identifier)
{
    if (identifier == 0)
        return false;
    PffItem live;
    if (libpff_file_get_item_by_identifier(file, identifier, live.out(), nullptr) != 1 || !live)
        return false;
    return SameProperties(recovered, live.get());
}

struct SourceList {
    ItemSource source;
    const QString& folderName;
    int (*count)(libpff_file_t*, int*, libpff_error_t**);
    int (*item)(libpff_file_t*, int, libpff_item_t**, libpff_error_t**);
    RecoveryTally RecoveryReport::*tally;
};

// A top-level folder name of the recovery's own that no live top-level folder has.
QString UnusedTopLevelName(const ItemStore* store, const QString& wanted)
{
    if (store == nullptr)
        return wanted;
    QStringList taken;
    for (const auto& folder : store->folderNodes())
        if (folder->depth == 1)
            taken << folder->name;
    QString name = wanted;
    for (int number = 2; taken.contains(name); ++number)
        name = QStringLiteral("%1 (%2)").arg(wanted).arg(number);
    return name;
}

// Exports the user items of one source; -1 once the scan is abandoned.
WalkStep ExportSource(export_handle* handle, libpff_file_t* file, const QString& exportRoot,
                      const SourceList& list, RecoveryTally& tally)
{
    int count = 0;
    if (list.count(file, &count, nullptr) != 1)
        return WalkStep::Done;
    // First sort out what is worth a folder: its node goes in before its items.
    struct Candidate {
        int index;
        int RecoveryTally::*kind;
    };
    std::vector<Candidate> candidates;
    for (int index = 0; index < count; ++index) {
        if (!export_handle_checkpoint(handle))
            return WalkStep::Failed;
        PffItem item;
        if (list.item(file, index, item.out(), nullptr) != 1 || !item) {
            ++tally.unreadable;
            continue;
        }
        uint32_t identifier = 0;
        libpff_item_get_identifier(item.get(), &identifier, nullptr);
        uint8_t type = 0;
        if (libpff_item_get_type(item.get(), &type, nullptr) != 1) {
            // No kind to read: a message whose class is lost, when its
            // identifier says it is a message; otherwise an internal node.
            ++(IsMessageNode(identifier) ? tally.unreadable : tally.internal);
            continue;
        }
        int RecoveryTally::*kind = TallyOf(type);
        if (kind == nullptr) {
            ++tally.internal;
            continue;
        }
        if (list.source == ItemSource::Recovered && DuplicatesLiveItem(file, item.get(), identifier)) {
            ++tally.duplicates;
            continue;
        }
        candidates.push_back({index, kind});
    }
    if (candidates.empty())
        return WalkStep::Done;

    QString folderPath;
    const QString name = UnusedTopLevelName(handle->store, list.folderName);
    if (export_handle_create_target_path(handle, exportRoot, name, &folderPath) != WalkStep::Done)
        return WalkStep::Done;
    export_handle_add_folder_node(handle, exportRoot, LastPathComponent(folderPath), name);

    int position = 0;
    for (const Candidate& candidate : candidates) {
        if (!export_handle_checkpoint(handle))
            return WalkStep::Failed;
        PffItem item;
        // Remnants of deleted items that cannot be read are counted, not
        // reported as items of the mailbox the scan skipped: the mailbox
        // itself was read whole.
        if (list.item(file, candidate.index, item.out(), nullptr) != 1 || !item) {
            ++tally.unreadable;
            continue;
        }
        // What the conversion finds the item by again, on a handle of its own.
        WalkCursor& cursor = export_handle_walk(handle).cursor();
        cursor.itemSource = list.source;
        cursor.itemSourceIndex = candidate.index;
        cursor.itemSourceBlocks = DataBlocksOf(item.get());
        const WalkStep step =
            export_handle_export_item(handle, item.get(), position, static_cast<int>(candidates.size()), folderPath);
        cursor.itemSource = ItemSource::Live;
        cursor.itemSourceIndex = -1;
        cursor.itemSourceBlocks.reset();
        if (step == WalkStep::Failed && export_handle_walk(handle).abandoned())
            return WalkStep::Failed;
        ++(tally.*candidate.kind);
        ++position;
    }
    return WalkStep::Done;
}

}  // namespace

WalkResult export_handle_export_recovered_items(export_handle* handle, libpff_file_t* file,
                                                const QString& exportRoot, RecoveryReport* report)
{
    const WalkStop abandoned{WalkStopKind::Abandoned, QString()};
    if (handle == nullptr || file == nullptr || report == nullptr)
        return Failed(WalkStop{WalkStopKind::RootUnreadable, QStringLiteral("there is no mailbox to search")});
    // The search reads the whole file without a checkpoint: a Stop the user
    // confirms makes libpff give up early. The abandoning thread may still be
    // inside the handler when the search ends, so the handler reaches the
    // file only through `abort`, which the search empties before going on.
    struct AbortTarget {
        std::mutex mutex;
        libpff_file_t* file = nullptr;
    };
    const auto abort = std::make_shared<AbortTarget>();
    abort->file = file;
    if (handle->gate != nullptr) {
        handle->gate->setAbandonHandler([abort] {
            std::lock_guard lock(abort->mutex);
            if (abort->file != nullptr)
                libpff_file_signal_abort(abort->file, nullptr);
        });
    }
    PffError error;
    const int searched = libpff_file_recover_items(file, 0, error.out());
    if (handle->gate != nullptr)
        handle->gate->setAbandonHandler({});
    {
        std::lock_guard lock(abort->mutex);
        abort->file = nullptr;
    }
    if (!export_handle_checkpoint(handle))
        return Failed(abandoned);
    if (searched != 1) {
        // The orphans are known without the search; they are still exported.
        report->failure = error.message();
        if (report->failure.isEmpty())
            report->failure = QStringLiteral("libpff could not read the file's free space");
    }

    const SourceList lists[] = {
        {ItemSource::Recovered, kRecoveredFolderName, libpff_file_get_number_of_recovered_items,
         libpff_file_get_recovered_item_by_index, &RecoveryReport::recovered},
        {ItemSource::Orphan, kOrphanFolderName, libpff_file_get_number_of_orphan_items,
         libpff_file_get_orphan_item_by_index, &RecoveryReport::orphans},
    };
    for (const SourceList& list : lists) {
        if (list.source == ItemSource::Recovered && searched != 1)
            continue;
        if (ExportSource(handle, file, exportRoot, list, report->*list.tally) == WalkStep::Failed)
            return Failed(abandoned);
    }
    return {};
}

}  // namespace tolvane
