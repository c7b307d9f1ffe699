// The scan's modes as visitors of the mailbox walk: the folders alone (each
// with its count of items), or every item dispatched by its libpff type to
// the exporter of its kind (reading what the list shows, or only where each
// item is). Made by export_handle_walk for the handle's item detail.
#pragma once

#include "scan/MailboxWalk.h"

#include <memory>

namespace tolvane {

struct export_handle;

// Folder nodes alone; no item is read.
class FolderTreeVisitor : public WalkVisitor {
public:
    explicit FolderTreeVisitor(export_handle* handle) : handle_(handle) {}
    bool WantsItems() const override { return false; }
    void FolderEntered(MailboxWalk& walk, const WalkFolder& folder) override;
    WalkStep ItemFound(MailboxWalk& walk, libpff_item_t* item, uint8_t type, int index,
                       const QString& folderPath) override;

protected:
    export_handle* handle_;
};

// Folder nodes and a record (or an entry) for every item.
class ItemRecordVisitor final : public FolderTreeVisitor {
public:
    using FolderTreeVisitor::FolderTreeVisitor;
    bool WantsItems() const override { return true; }
    WalkStep ItemFound(MailboxWalk& walk, libpff_item_t* item, uint8_t type, int index,
                       const QString& folderPath) override;
};

// The visitor of a handle's item detail.
std::unique_ptr<WalkVisitor> MakeScanVisitor(export_handle* handle);

}  // namespace tolvane
