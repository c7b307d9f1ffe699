// Re-reads messages and contacts from the PST for the conversion, so that the
// EML carries the full message (all bodies, attachments, addresses) and not
// only what the scan kept in its records. What cannot be read is never
// passed off as read: the message either fails or lists what it is missing.
// The facade the conversion and the preview use: it owns the open file and
// its lock, finds items with MailboxItemFinder and leaves the reading of each
// kind of item to the mappers in convert/read/.
#pragma once

#include "scan/ExportHandle.h"
#include "base/Expected.h"
#include "scan/ItemLocator.h"
#include "model/ItemRecords.h"
#include "model/CalendarContent.h"
#include "model/MailContent.h"
#include "model/ContactContent.h"
#include "convert/read/DeletedItemsFile.h"
#include "convert/read/MailboxItemFinder.h"
#include "convert/read/MessageMapper.h"
#include "convert/read/RecordMessage.h"
#include "scan/PffHandles.h"
#include "scan/TextDecoding.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tolvane {

// Why the mailbox, or one item of it, could not be read: the one failure of
// every reading the reader does.
struct ReadError {
    QString reason;            // for the user: the file system's word where it has one
    bool outOfMemory = false;  // memory or descriptors ran out, rather than the file
};

// One item read whole, or why not. A content read in part lists what it
// lacks itself (`missing`).
template <typename Content>
using ItemRead = Expected<Content, ReadError>;

// One libpff file used by one of the mail pass's workers and by the writer,
// which streams large attachments: every use of the file holds its lock.
class MailboxReader {
public:
    // Opens the mailbox and finds where every item sits in it. With
    // `scanned`, only the file the scan read, unchanged, is opened.
    // `deletedItemSearchHook` (optional, for tests) runs each time the
    // mailbox is searched for deleted items, which its readers do once.
    [[nodiscard]] Expected<void, ReadError> Open(const QString& pstPath,
                                                 const std::optional<FileIdentity>& scanned = std::nullopt,
                                                 std::function<void()> deletedItemSearchHook = {});
    // Opens the same mailbox once more, for another worker, taking the item
    // positions `opened` found instead of walking the file again, and its
    // deleted items instead of searching for them again.
    [[nodiscard]] Expected<void, ReadError> OpenAlongside(const QString& pstPath, const MailboxReader& opened);
    bool isOpen() const { return file_.isOpen(); }
    // The record key of the mailbox's store (empty when it has none): what
    // every entry identifier into this mailbox starts with.
    const QByteArray& storeKey() const { return storeKey_; }

    // The message at `location`. Its large attachments come as sources that
    // read from this reader later, so the reader must outlive the content.
    [[nodiscard]] ItemRead<MessageContent> ReadMessage(const ItemLocation& location);
    // The fingerprint (ItemFingerprint.h) of the top-level item `identifier`
    // of the mailbox's own folders; nullopt when it cannot be found or read.
    [[nodiscard]] std::optional<QByteArray> FingerprintOf(uint32_t identifier);
    // The appointment at `location`, for the calendar pass.
    [[nodiscard]] ItemRead<AppointmentContent> ReadAppointment(const ItemLocation& location);
    // The task, note or journal entry, and distribution list at `location`.
    [[nodiscard]] ItemRead<TaskContent> ReadTask(const ItemLocation& location);
    [[nodiscard]] ItemRead<NoteContent> ReadNote(const ItemLocation& location, bool journal);
    [[nodiscard]] ItemRead<DistributionListContent> ReadDistributionList(const ItemLocation& location);
    // The contact of `record`, whole: the record's fields as the item holds
    // them (where it is and its number kept), and what its vCard takes
    // beyond them: its UID, e-mail addresses, postal addresses, birthday and
    // anniversary as days, categories and picture.
    [[nodiscard]] ItemRead<ContactItem> ReadContact(const ContactRecord& record);

private:
    [[nodiscard]] Expected<void, ReadError> OpenFile(const QString& pstPath);
    // The handle an item is read through: the lock that guards it (the
    // mappers hand it to the attachment sources that read later) and the
    // code page of its 8-bit strings.
    struct ItemFile {
        std::recursive_mutex& mutex;
        int codepage = kDefaultCodePage;
        bool offlineCache = false;
    };
    // Runs `read` on the item at `location` (top-level or embedded) under
    // the lock of the handle it is read through: this reader's own for live
    // and orphan items, the shared DeletedItemsFile's for recovered ones. The
    // failure when there is no such item or memory ran out, with `what`
    // naming the item.
    template <typename Content>
    ItemRead<Content> WithItem(const ItemLocation& location, const QString& what,
                               const std::function<Content(libpff_item_t*, const ItemFile&)>& read);

    std::optional<FileIdentity> scanned_;
    std::recursive_mutex fileMutex_;
    PffFile file_;
    QByteArray storeKey_;
    // After the file: its handles go before the file does.
    MailboxItemFinder finder_;
    // Shared by the readers of one conversion; set while the file is open.
    std::shared_ptr<DeletedItemsFile> deletedItems_;
};

}  // namespace tolvane
