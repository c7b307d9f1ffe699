// The one walk over a mailbox's folders and items, for every reader of a PST
// file: the scan in each of its modes and the conversion's item finder. The
// walk owns where it is (WalkCursor), how folders are named (FolderNaming),
// the depth bounds, the cut of a folder hierarchy that loops back on itself
// and the report of everything it leaves out; what becomes of each folder and
// item is a WalkVisitor's business.
#pragma once

#include "base/Expected.h"
#include "scan/FolderNaming.h"
#include "scan/WalkCursor.h"

#include <libpff.h>

#include <QString>

namespace tolvane {

class ItemStore;
class MailboxWalk;
class ScanEvents;
class WorkerGate;

// What one step of the walk did. A caller goes on whatever one item's step
// returns (one bad item never stops its siblings), but says so where it does.
enum class [[nodiscard]] WalkStep {
    Done,     // it did its work
    Nothing,  // there was nothing for it to do, or what it met was left out and reported
    Failed,   // it could not, or the walk was abandoned
};

// Why a walk did not reach its end.
enum class WalkStopKind {
    Abandoned,       // the user stopped it (or the conversion it runs beside ended)
    RootUnreadable,  // the root folder or its list of items cannot be read
};

struct WalkStop {
    WalkStopKind kind = WalkStopKind::Abandoned;
    QString reason;
};

using WalkResult = Expected<void, WalkStop>;

// A folder the walk enters, once the depth bound and the loop cut let it through.
struct WalkFolder {
    libpff_item_t* item = nullptr;
    int index = 0;          // its position among its parent's folders
    uint32_t identifier = 0;
    QString parentPath;     // its parent's export path
    QString path;           // its own export path, unique by folder key
    QString storedName;     // its name as stored; empty when it has none
};

class WalkVisitor {
public:
    virtual ~WalkVisitor() = default;
    // False: the walk reads the folders alone and no folder's items.
    virtual bool WantsItems() const { return true; }
    virtual void FolderEntered(MailboxWalk& walk, const WalkFolder& folder) = 0;
    // An item that is not a folder: libpff's `type`, its position `index` and
    // the export path of the folder that holds it (for an embedded item, the
    // attachment's path). The cursor says where it sits. Failed once the
    // walk is abandoned; otherwise what became of the item.
    virtual WalkStep ItemFound(MailboxWalk& walk, libpff_item_t* item, uint8_t type, int index,
                           const QString& folderPath) = 0;
};

// Who hears of what the walk leaves out, and of its progress; either may be null.
struct WalkReporting {
    ScanEvents* events = nullptr;
    ItemStore* store = nullptr;
};

class MailboxWalk {
public:
    // `gate` may be null; `asciiCodepage` decodes the folders' 8-bit names.
    MailboxWalk(WalkVisitor& visitor, WalkReporting reporting, WorkerGate* gate, int asciiCodepage);

    // Walks every item below the root folder; the export paths begin with `exportRoot`.
    [[nodiscard]] WalkResult Run(libpff_file_t* file, const QString& exportRoot);

    // Every sub-item of `item`, each as VisitItem.
    WalkStep WalkSubItems(libpff_item_t* item, const QString& exportPath);
    // One item: a folder is walked, any other item goes to the visitor.
    WalkStep VisitItem(libpff_item_t* item, int index, const QString& exportPath);
    // A folder below `parentPath`, unless it lies deeper than the walk goes
    // or loops back onto its own ancestors (then it is reported and left out).
    WalkStep EnterFolder(libpff_item_t* folder, int index, const QString& parentPath);
    WalkStep WalkSubFolders(libpff_item_t* folder, const QString& exportPath);
    WalkStep WalkSubMessages(libpff_item_t* folder, const QString& exportPath);
    // The item embedded in an attachment at `index` of the item being read,
    // visited with `path` as its folder's export path; reported and left out
    // when it lies deeper than the walk goes or cannot be read.
    WalkStep VisitEmbeddedItem(libpff_item_t* attachment, int index, const QString& path);

    // Tells whoever follows the walk of something it left out. `what` names
    // it within its folder ("item 3", "folder 2"); `exportPath` is the folder's.
    void ReportSkipped(const QString& exportPath, const QString& what, const QString& reason);
    // The same for an attachment of the top-level item being read.
    void ReportSkippedAttachment(int index, const QString& reason);

    // True while the walk may go on; passes the worker gate's checkpoint.
    bool Checkpoint();
    bool abandoned() const { return abandoned_; }

    WalkCursor& cursor() { return cursor_; }
    FolderNaming& naming() { return naming_; }
    const WalkReporting& reporting() const { return reporting_; }
    int asciiCodepage() const { return asciiCodepage_; }

private:
    WalkStep WalkFolderContents(libpff_item_t* folder, int index, uint32_t identifier, const QString& parentPath);
    void Progress(int position);

    WalkVisitor& visitor_;
    WalkReporting reporting_;
    WorkerGate* gate_ = nullptr;
    int asciiCodepage_ = 0;
    WalkCursor cursor_;
    FolderNaming naming_;
    bool abandoned_ = false;
};

// A folder's export path as the tree shows it, without the scan's private
// root: "/" for the top.
QString FolderShownAs(const QString& exportPath);

// The reason given for an item or folder cut by a depth bound.
QString NestingReason(int bound);

}  // namespace tolvane
