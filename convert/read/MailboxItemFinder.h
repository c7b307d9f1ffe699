// Finds an item of an open mailbox again from the location the scan recorded:
// a top-level item by its identifier, an orphan one in libpff's list of them,
// and an embedded message down its attachment path. Recovered items are not
// in this file (see DeletedItemsFile). The owner (MailboxReader) holds the
// file's lock around every call.
#pragma once

#include "scan/ItemLocator.h"
#include "model/ItemRecords.h"
#include "scan/PffHandles.h"

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace tolvane {

class ScanEvents;

class MailboxItemFinder {
public:
    // Starts over on a newly opened `file`, which must outlive its use here:
    // nothing learnt of an earlier file is kept.
    void Attach(libpff_file_t* file);
    // Walks every folder of the attached file and records where each item
    // sits, when libpff cannot look items up by identifier quickly (Always:
    // whatever libpff can). The walk is the scan's: what it leaves out (a
    // folder that contains itself, an item it cannot read) goes to `events`
    // when given.
    enum class IndexWalk { WhenNeeded, Always };
    void IndexItems(ScanEvents* events = nullptr, IndexWalk walk = IndexWalk::WhenNeeded);
    // Takes the positions `other` recorded instead of walking the file again
    // (the readers of one conversion open the same file).
    void ShareIndex(const MailboxItemFinder& other) { index_ = other.index_; }

    // The live or orphan item at `location`, top-level or embedded; null when
    // the file has no such item (and for a recovered item). The handles that
    // keep it alive go into `holder` or `located`.
    [[nodiscard]] libpff_item_t* ItemAtLocation(const ItemLocation& location, PffItem& holder, LocatedItem& located);

private:
    // Where a top-level item sits: the folder's position among the root's
    // items, then the sub-folder indexes below it, and its index among the
    // folder's items. With Debian's libpff, looking
    // items up by identifier costs time in proportion to the file's size, so
    // one walk at the start records every item's position instead; the
    // project's libpff needs no walk.
    struct ItemPosition {
        int folder = 0;  // index into ItemIndex::folderPaths
        int index = 0;
    };
    // Read-only once built, so the readers of one conversion share it.
    struct ItemIndex {
        std::vector<std::vector<int>> folderPaths;
        std::unordered_map<uint32_t, ItemPosition> positions;
    };
    class Indexer;
    [[nodiscard]] libpff_item_t* FindTopLevelItem(const ItemLocation& location, PffItem& holder);
    // The item the walk saw at `position`, when it still has `identifier`.
    [[nodiscard]] libpff_item_t* ItemAt(const ItemPosition& position, uint32_t identifier, PffItem& holder);

    libpff_file_t* file_ = nullptr;
    std::shared_ptr<const ItemIndex> index_;
    // The folder of the last look-up at a walked position: items of one
    // folder are mostly read one after the other.
    int cachedFolder_ = -1;
    PffItem cachedFolderItem_;
};

}  // namespace tolvane
