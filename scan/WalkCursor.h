// Where a walk over a mailbox is: the folders from the root down to the one
// being walked, the tree's last folder at each level, and the top-level item
// being read with the attachments down to the current embedded one. Plain
// data owned by MailboxWalk; readers ask it for an item's location.
#pragma once

#include "model/ItemRecords.h"
#include "scan/Limits.h"

#include <libpff.h>

#include <QString>
#include <QVector>

#include <array>
#include <optional>

namespace tolvane {

struct WalkCursor {
    // Identifiers of the folders from the root down to the one being walked
    // (a hierarchy that loops back onto one of them is cut there), and each
    // one's position among its parent's folders.
    QVector<uint32_t> folderIdentifiers;
    QVector<int> folderPositions;

    // The tree node last made at each level 1..27 (index 0: the mailbox
    // itself), and the last folder given an identifier.
    std::array<FolderId, kDeepestTreeLevel + 1> levelTable{};
    FolderId lastFolderId = 0;

    // The top-level item being read: its identifier, its folder's export
    // path and its position there; the attachment indexes down to the
    // embedded item being read (empty for the top-level item itself).
    uint32_t topLevelIdentifier = 0;
    QString topLevelExportPath;
    int topLevelIndex = 0;
    QVector<int> attachmentPath;

    // Where the top-level item was found: its index in libpff's list of
    // recovered or orphan items and the blocks it was read from.
    ItemSource itemSource = ItemSource::Live;
    int itemSourceIndex = -1;
    std::optional<ItemDataBlocks> itemSourceBlocks;

    bool atTopLevel() const { return attachmentPath.isEmpty(); }
    int folderDepth() const { return static_cast<int>(folderIdentifiers.size()); }

    // Makes `item` the top-level item being read.
    void EnterTopLevelItem(libpff_item_t* item, int index, const QString& exportPath)
    {
        topLevelIdentifier = 0;
        libpff_item_get_identifier(item, &topLevelIdentifier, nullptr);
        topLevelExportPath = exportPath;
        topLevelIndex = index;
    }

    // The location a record of `item` carries, so the conversion finds it again.
    ItemLocation LocationOf(libpff_item_t* item) const
    {
        ItemLocation location;
        libpff_item_get_identifier(item, &location.itemIdentifier, nullptr);
        location.attachmentPath = attachmentPath;
        location.topLevelIdentifier = atTopLevel() ? location.itemIdentifier : topLevelIdentifier;
        location.source = itemSource;
        location.sourceIndex = itemSourceIndex;
        location.sourceBlocks = itemSourceBlocks;
        return location;
    }
};

}  // namespace tolvane
