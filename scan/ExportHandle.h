// The scan's side of the mailbox walk: the export context of one scan and the
// export_handle_* operations over it. The walk itself (cursor, folder naming,
// depth bounds, loop cut, what is left out) is MailboxWalk's; these
// operations are what the scan does with each folder and item, and the names
// the scan's steps have always gone by, each a thin call into the walk.
#pragma once

#include "model/ItemRecords.h"
#include "scan/MailboxWalk.h"
#include "scan/ScanDriver.h"

#include <libpff.h>

#include <QString>
#include <QStringList>

#include <memory>

namespace tolvane {

class ItemStore;
struct RecoveryReport;
class ScanEvents;
class WorkerGate;

struct export_handle {
    // What the driver hands over for one scan.
    int asciiCodepage = 1252;
    ItemStore* store = nullptr;
    ScanEvents* events = nullptr;
    WorkerGate* gate = nullptr;
    QString mailboxPath;  // the scanned file as given: the text the top folders' parent goes by
    // What the records' attachment names begin with: a name for the list and
    // the preview, never a directory that is made or written.
    QString attachmentNamesRoot;
    ItemDetail itemDetail = ItemDetail::Listed;  // see ScanRequest

    // Kind of the body the scan kept last; never reset during a scan, so a
    // message that keeps no body of its own records its predecessor's kind.
    BodyKind lastKeptBodyKind = BodyKind::PlainText;

    // What the walk does with each folder and item (one of the scan's
    // modes), and the walk; made by the first operation that walks.
    std::unique_ptr<WalkVisitor> visitor;
    std::unique_ptr<MailboxWalk> walk;
};

// What one message's export gathers for its header step. Each message,
// embedded ones included, has its own.
struct MessageCollectors {
    QByteArray body;          // the kept body as UTF-8
    QStringList recipients;   // display names
    QStringList attachments;  // paths formed for the attachments' names
};

WalkStep export_handle_initialize(std::unique_ptr<export_handle>* handle);
// Releases the context; there is nothing that could fail.
void export_handle_free(std::unique_ptr<export_handle>* handle);

// The walk of this scan, made for its item detail on first use.
MailboxWalk& export_handle_walk(export_handle* handle);

// The whole mailbox; says why when the walk did not reach its end.
[[nodiscard]] WalkResult export_handle_export_file(export_handle* handle, libpff_file_t* file,
                                                   const QString& exportPath);
[[nodiscard]] WalkResult export_handle_export_items(export_handle* handle, libpff_file_t* file,
                                                    const QString& exportPath);
// Folder walk and dispatch.
WalkStep export_handle_export_sub_items(export_handle* handle, libpff_item_t* item, const QString& exportPath);
WalkStep export_handle_export_item(export_handle* handle, libpff_item_t* item, int index, int count,
                                   const QString& exportPath);
WalkStep export_handle_export_folder(export_handle* handle, libpff_item_t* folder, int index,
                                     const QString& exportPath);
WalkStep export_handle_export_sub_folders(export_handle* handle, libpff_item_t* folder, const QString& exportPath);
WalkStep export_handle_export_sub_messages(export_handle* handle, libpff_item_t* folder, const QString& exportPath);

// Deleted items the file still holds and items whose folder is gone, each
// source a folder of its own at the end of the tree ("Recovered items",
// "Orphan items"); counted into *report. Reads the whole file's free space.
[[nodiscard]] WalkResult export_handle_export_recovered_items(export_handle* handle, libpff_file_t* file,
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
// to the attachment path its export path points into.
QString export_handle_record_folder_key(export_handle* handle, const QString& exportPath);
// The folder name of a record made at `exportPath` (its last component).
QString export_handle_record_folder_name(export_handle* handle, const QString& exportPath);

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
