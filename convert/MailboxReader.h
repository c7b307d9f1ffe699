// Re-reads messages and contacts from the PST for the conversion, so that the
// EML carries the full message (all bodies, attachments, addresses) and not
// only what the scan kept in its records. What cannot be read is never
// passed off as read: the message either fails or lists what it is missing.
#pragma once

#include "scan/ExportHandle.h"
#include "scan/Expected.h"
#include "scan/ItemLocator.h"
#include "scan/ItemRecords.h"
#include "convert/CalendarContent.h"
#include "convert/MailContent.h"
#include "convert/VCardWriter.h"
#include "scan/PffHandles.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <unordered_map>
#include <vector>

namespace tolvane {

// The note a message rebuilt from the scan's record carries, when the user
// chose to write what the scan kept because the mailbox could not be read.
inline constexpr const char* kRebuiltFromRecordNote =
    "rebuilt from the scan's list: attachments, Cc and Bcc, e-mail addresses and the original headers";

// One message read for the conversion.
struct MessageRead {
    std::optional<MessageContent> content;  // absent: nothing of the message could be read
    QString failure;                        // why, when absent
};

// One item read for the calendar or the contact pass.
template <typename Content>
struct ItemRead {
    std::optional<Content> content;  // absent: the item could not be read
    QString failure;                 // why, when absent
};
using AppointmentRead = ItemRead<AppointmentContent>;

// Why the mailbox could not be opened again for the conversion.
struct ReaderOpenFailure {
    QString reason;            // for the user: the file system's word where it has one
    bool outOfMemory = false;  // memory or descriptors ran out, rather than the file
};

// One libpff file used by one of the mail pass's workers and by the writer,
// which streams large attachments: every use of the file holds its lock.
class MailboxReader {
public:
    // Opens the mailbox and finds where every item sits in it. With
    // `scanned`, only the file the scan read, unchanged, is opened.
    [[nodiscard]] Expected<void, ReaderOpenFailure> Open(const QString& pstPath,
                                                         const std::optional<FileIdentity>& scanned = std::nullopt);
    // Opens the same mailbox once more, for another worker, taking the item
    // positions `opened` found instead of walking the file again.
    [[nodiscard]] Expected<void, ReaderOpenFailure> OpenAlongside(const QString& pstPath, const MailboxReader& opened);
    bool isOpen() const { return file_.isOpen(); }
    // The record key of the mailbox's store (empty when it has none): what
    // every entry identifier into this mailbox starts with.
    const QByteArray& storeKey() const { return storeKey_; }

    // The message at `location`. Its large attachments come as sources that
    // read from this reader later, so the reader must outlive the content.
    [[nodiscard]] MessageRead ReadMessage(const ItemLocation& location);
    // The appointment at `location`, for the calendar pass.
    [[nodiscard]] AppointmentRead ReadAppointment(const ItemLocation& location);
    // The task, note or journal entry, and distribution list at `location`.
    [[nodiscard]] ItemRead<TaskContent> ReadTask(const ItemLocation& location);
    [[nodiscard]] ItemRead<NoteContent> ReadNote(const ItemLocation& location, bool journal);
    [[nodiscard]] ItemRead<DistributionListContent> ReadDistributionList(const ItemLocation& location);
    // What a contact's vCard takes beyond the scan's record: its UID, e-mail
    // addresses, postal addresses, birthday and anniversary as days,
    // categories and picture.
    [[nodiscard]] ContactDetails ReadContactDetails(const ItemLocation& location);

private:
    // Where a top-level item sits: the sub-folder indexes from the root folder
    // and its index among the folder's items. With Debian's libpff, looking
    // items up by identifier costs time in proportion to the file's size, so
    // one walk at the start records every item's position instead; the
    // project's libpff needs no walk (see MailboxReader.cpp).
    struct ItemPosition {
        int folder = 0;  // index into ItemIndex::folderPaths
        int index = 0;
    };
    // Read-only once built, so the readers of one conversion share it.
    struct ItemIndex {
        std::vector<std::vector<int>> folderPaths;
        std::unordered_map<uint32_t, ItemPosition> positions;
    };
    [[nodiscard]] Expected<void, ReaderOpenFailure> OpenFile(const QString& pstPath);
    std::optional<FileIdentity> scanned_;
    static void IndexItems(libpff_item_t* folder, std::vector<int>& path, int depthLeft, ItemIndex& index);
    // Runs `read` on the item at `location` (top-level or embedded) under
    // the file's lock; the failure text when there is no such item or memory
    // ran out, with `what` naming the item.
    QString WithItem(const ItemLocation& location, const QString& what,
                     const std::function<void(libpff_item_t*)>& read);
    libpff_item_t* FindTopLevelItem(const ItemLocation& location, PffItem& holder);
    // Recovered items can only be found in a file that has searched its free
    // space for them; each reader does so once, the first time it needs one.
    bool SearchedForDeletedItems();
    // The item at `location`, top-level or embedded; the handles that keep
    // it alive go into `holder` or `located`.
    libpff_item_t* ItemAtLocation(const ItemLocation& location, PffItem& holder, LocatedItem& located);
    // The item the walk saw at `position`, when it still has `identifier`.
    libpff_item_t* ItemAt(const ItemPosition& position, uint32_t identifier, PffItem& holder);

    std::recursive_mutex fileMutex_;
    PffFile file_;
    QByteArray storeKey_;
    std::shared_ptr<const ItemIndex> index_;
    std::optional<bool> searchedForDeletedItems_;
    int cachedFolder_ = -1;
    PffItem cachedFolderItem_;
};

// Everything of one libpff message item, embedded messages recursively up to
// `depthLeft` levels (the scan's own bound, so every embedded message it
// recorded is carried).
MessageContent ReadMessageContent(libpff_item_t* message, int fileCodePage, int depthLeft = kDeepestEmbedding);

// The message as far as the scan's record describes it, marked as rebuilt.
MessageContent ContentFromRecord(const MailRecord& record);

// Number of embedded messages inside a message, at every level.
int CountEmbeddedMessages(const MessageContent& content);

}  // namespace tolvane
