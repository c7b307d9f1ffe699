// The export context of one scan and the operations of the walk: the folder
// walk and item dispatch, the message exporter and the contact and
// appointment exporters. Every operation says what it did as a WalkStep.
#pragma once

#include "model/ItemRecords.h"
#include "scan/Limits.h"
#include "scan/ScanDriver.h"

#include <libpff.h>

#include <QSet>
#include <QString>
#include <QVector>

#include <array>
#include <memory>
#include <optional>

namespace tolvane {

class ItemStore;
struct RecoveryReport;
class ScanEvents;
class WorkerGate;


// What one operation of the walk did. Callers go on whatever one item's
// export returns: one bad item never stops its siblings.
enum class WalkStep {
    Done,     // it did its work
    Nothing,  // there was nothing for it to do
    Failed,   // it could not
};

struct export_handle {
    // What the driver hands over for one scan.
    libpff_file_t* file = nullptr;
    int asciiCodepage = 1252;
    ItemStore* store = nullptr;
    ScanEvents* events = nullptr;
    WorkerGate* gate = nullptr;
    QString mailboxPath;          // the scanned file as given: the text the top folders' parent goes by
    QString attachmentDirectory;  // absolute path of "Attachments"; empty when unavailable
    ItemDetail itemDetail = ItemDetail::Listed;  // see ScanRequest

    // Folder last found at each level 1..27 (index 0: the mailbox itself),
    // and the last folder given an identifier.
    std::array<FolderId, kDeepestTreeLevel + 1> levelTable{};
    FolderId lastFolderId = 0;
    // Kind of the body the scan kept last; never reset during a scan, so a
    // message that keeps no body of its own records its predecessor's kind.
    BodyKind lastKeptBodyKind = BodyKind::PlainText;
    // Set once the user abandons the scan: nothing more is read or reported.
    bool abandoned = false;

    // Where the message being exported sits: the top-level message's
    // identifier, folder export path and position in that folder, and the
    // attachment indexes down to the current embedded item.
    uint32_t topLevelIdentifier = 0;
    QString topLevelExportPath;
    int topLevelIndex = 0;
    QVector<int> attachmentPath;

    // Where the top-level item being exported was found, its index in
    // libpff's list of recovered or orphan items and the blocks it was read
    // from (see ItemLocation).
    ItemSource itemSource = ItemSource::Live;
    int itemSourceIndex = -1;
    std::optional<ItemDataBlocks> itemSourceBlocks;

    // Identifiers of the folders from the root down to the one being walked:
    // a hierarchy that loops back onto one of them is cut there.
    QVector<uint32_t> folderPath;
    // The stored names' path of the folder last added at each level (see
    // FolderNode::storedPath), and the record folder key of every folder so
    // far: two folders never share one, so their items never mix.
    std::array<QString, kDeepestTreeLevel + 1> storedPathAtLevel{};
    QSet<QString> folderKeysTaken;
    // The folder key and folder name last made for a record, with the path
    // each was made from: the items of one folder share one copy of each
    // instead of a copy per item (see export_handle_record_folder_key).
    std::optional<QString> recordKeyPath;
    QString recordKey;
    std::optional<QString> recordNamePath;
    QString recordName;
};

// What one message's export gathers for its header step. Each message,
// embedded ones included, has its own.
struct MessageCollectors {
    QByteArray body;          // the kept body as UTF-8
    QStringList recipients;   // display names
    QStringList attachments;  // paths formed for the attachments' names
};

WalkStep export_handle_initialize(std::unique_ptr<export_handle>* handle);
WalkStep export_handle_free(std::unique_ptr<export_handle>* handle);

// Folder walk and dispatch.
WalkStep export_handle_export_file(export_handle* handle, libpff_file_t* file, const QString& exportPath);
WalkStep export_handle_export_items(export_handle* handle, libpff_file_t* file, const QString& exportPath);
WalkStep export_handle_export_sub_items(export_handle* handle, libpff_item_t* item, const QString& exportPath);
WalkStep export_handle_export_item(export_handle* handle, libpff_item_t* item, int index, int count,
                                   const QString& exportPath);
WalkStep export_handle_export_folder(export_handle* handle, libpff_item_t* folder, int index,
                                     const QString& exportPath);
// The folder's own work once the depth and loop tests have let it through.
WalkStep export_handle_walk_folder(export_handle* handle, libpff_item_t* folder, int index, const QString& exportPath);
WalkStep export_handle_export_sub_folders(export_handle* handle, libpff_item_t* folder, const QString& exportPath);
WalkStep export_handle_export_sub_messages(export_handle* handle, libpff_item_t* folder, const QString& exportPath);

// Deleted items the file still holds and items whose folder is gone, each
// source a folder of its own at the end of the tree ("Recovered items",
// "Orphan items"); counted into *report. Reads the whole file's free space.
WalkStep export_handle_export_recovered_items(export_handle* handle, libpff_file_t* file,
                                              const QString& exportRoot, RecoveryReport* report);

// Adds the folder node of a folder whose export path is `parentPath` +
// `directoryName` and tells the events; `listedItems`: how many items the
// folder lists, where the walk counted them; `identifier` and
// `containerClass`: the folder's own (FolderNode), none for a folder the
// scan makes itself.
void export_handle_add_folder_node(export_handle* handle, const QString& parentPath, const QString& directoryName,
                                   const QString& storedName, int listedItems = 0, uint32_t identifier = 0,
                                   const QString& containerClass = QString());

// Appends a separator and the sanitised name to `path`. Fails for a null
// path or name, or when *target already holds a path.
WalkStep export_handle_create_target_path(export_handle* handle, const QString& path, const QString& name,
                                          QString* target, QChar separator = u'\\');
// Sanitises the name part of a path (a single component) in place.
WalkStep export_handle_sanitize_filename(export_handle* handle, QString* name);

// The folder key of a record made at `exportPath`: an item embedded in a
// message belongs to the folder of the top-level message that carries it, not
// to the attachment directory its export path points into. The key made last
// is handed out again while the path stays the same.
QString export_handle_record_folder_key(export_handle* handle, const QString& exportPath);
// The folder name of a record made at `exportPath` (its last component),
// handed out again while the path stays the same.
QString export_handle_record_folder_name(export_handle* handle, const QString& exportPath);

// Tells the events about an item the walk left out. `what` names it within its
// folder ("item 3", "folder 2"); `exportPath` is the folder's export path.
void export_handle_report_skipped(export_handle* handle, const QString& exportPath, const QString& what,
                                  const QString& reason);
// The text of the depth bound that cut an item.
QString export_handle_nesting_reason(int bound);

// Messages.
WalkStep export_handle_export_email(export_handle* handle, libpff_item_t* message, const QString& exportPath);
WalkStep export_handle_export_message_body(export_handle* handle, libpff_item_t* message,
                                           const QString& exportPath, MessageCollectors* collectors);
WalkStep export_handle_export_attachments(export_handle* handle, libpff_item_t* message,
                                          const QString& directory, MessageCollectors* collectors);
WalkStep export_handle_export_attachment(export_handle* handle, libpff_item_t* attachment, int index,
                                         const QString& directory, MessageCollectors* collectors);
WalkStep export_handle_export_recipients(export_handle* handle, libpff_item_t* message, const QString& exportPath,
                                         MessageCollectors* collectors);
WalkStep export_handle_export_message_header(export_handle* handle, libpff_item_t* message, const QString& exportPath,
                                             MessageCollectors* collectors);

// Contacts and appointments.
WalkStep export_handle_export_contact(export_handle* handle, libpff_item_t* contact, int index,
                                      const QString& exportPath);
WalkStep export_handle_export_appointment(export_handle* handle, libpff_item_t* appointment, int index,
                                          const QString& exportPath);

// True while the scan may go on; passes the worker gate's checkpoint.
bool export_handle_checkpoint(export_handle* handle);

// The location of the item being exported, for its record.
ItemLocation export_handle_item_location(export_handle* handle, libpff_item_t* item);

}  // namespace tolvane
