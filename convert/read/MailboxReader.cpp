// Opening a mailbox again for the conversion and reading its items under the
// file's lock; what each kind of item holds is read by the mappers.
#include "convert/read/MailboxReader.h"

#include "scan/ContactFields.h"

#include "convert/read/CalendarMapper.h"
#include "convert/read/ContactMapper.h"
#include "scan/ItemFingerprint.h"
#include "base/NativePath.h"
#include "scan/PffProperties.h"
#include "scan/PropertyTags.h"
#include "scan/TextDecoding.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvane {

Expected<void, ReadError> MailboxReader::Open(const QString& pstPath,
                                              const std::optional<FileIdentity>& scanned,
                                              std::function<void()> deletedItemSearchHook)
{
    std::lock_guard lock(fileMutex_);
    scanned_ = scanned;
    if (auto opened = OpenFile(pstPath); !opened)
        return opened;
    finder_.IndexItems();
    deletedItems_ = std::make_shared<DeletedItemsFile>(pstPath, scanned_, std::move(deletedItemSearchHook));
    return {};
}

Expected<void, ReadError> MailboxReader::OpenAlongside(const QString& pstPath, const MailboxReader& opened)
{
    std::lock_guard lock(fileMutex_);
    scanned_ = opened.scanned_;
    if (auto result = OpenFile(pstPath); !result)
        return result;
    finder_.ShareIndex(opened.finder_);
    deletedItems_ = opened.deletedItems_;
    return {};
}

Expected<void, ReadError> MailboxReader::OpenFile(const QString& pstPath)
{
    // Nothing found in a file opened before outlives it.
    finder_.Attach(nullptr);
    deletedItems_.reset();
    PffError pffError;
    if (!file_.initialize() || !file_.setAsciiCodepage(kDefaultCodePage) || !file_.open(pstPath, &pffError, scanned_)) {
        ReadError failure;
        failure.outOfMemory = file_.openRanOutOfResources() || !file_.get();
        if (!file_.changedReason().isEmpty()) {
            failure.outOfMemory = false;
            failure.reason = file_.changedReason();
        } else if (failure.outOfMemory) {
            failure.reason = QStringLiteral("not enough memory to open %1 again").arg(pstPath);
        } else {
            // The file system's word first: it says what a user can act on.
            struct stat info {};
            const QByteArray native = NativePath(pstPath);
            if (::stat(native.constData(), &info) != 0)
                failure.reason = QStringLiteral("%1: %2").arg(pstPath, ErrnoText(errno));
            else if (::access(native.constData(), R_OK) != 0)
                failure.reason = QStringLiteral("%1: %2").arg(pstPath, ErrnoText(errno));
            else
                failure.reason =
                    QStringLiteral("%1 cannot be opened again: it changed since the scan, or memory ran short")
                        .arg(pstPath);
        }
        file_.reset();
        return Failed(std::move(failure));
    }
    finder_.Attach(file_.get());
    // The store's record key: the first part of every entry identifier that
    // points into this mailbox.
    PffItem store;
    if (libpff_file_get_message_store(file_.get(), store.out(), nullptr) == 1 && store)
        storeKey_ = ReadBinary(store.get(), 0, PropertyTag::RecordKey).value_or(QByteArray());
    return {};
}

template <typename Content>
ItemRead<Content> MailboxReader::WithItem(const ItemLocation& location, const QString& what,
                                          const std::function<Content(libpff_item_t*, const ItemFile&)>& read)
{
    // Recovered items are read through the conversion's one handle that
    // searched for them; deletedItems_ is set only while file_ is open.
    const bool recovered = location.source == ItemSource::Recovered;
    std::recursive_mutex& mutex = recovered && deletedItems_ != nullptr ? deletedItems_->mutex() : fileMutex_;
    std::lock_guard lock(mutex);
    if (!(recovered ? deletedItems_ != nullptr : file_.isOpen()) || location.itemIdentifier == 0)
        return Failed(ReadError{QStringLiteral("the %1 is not in the mailbox").arg(what)});
    try {
        PffItem holder;
        LocatedItem located;
        libpff_item_t* item = nullptr;
        int codepage = kDefaultCodePage;
        bool offlineCache = false;
        if (recovered) {
            located = LocateItem(deletedItems_->SearchedFile(), location);
            item = located.item();
            codepage = deletedItems_->asciiCodepage();
            offlineCache = deletedItems_->isOfflineCache();
        } else {
            item = finder_.ItemAtLocation(location, holder, located);
            codepage = file_.asciiCodepage();
            offlineCache = file_.isOfflineCache();
        }
        if (!item)
            return Failed(ReadError{QStringLiteral("the %1 can no longer be found in the mailbox").arg(what)});
        return read(item, ItemFile{mutex, codepage, offlineCache});
    } catch (const std::bad_alloc&) {
        return Failed(ReadError{QStringLiteral("not enough memory to read the %1").arg(what), true});
    }
}

ItemRead<MessageContent> MailboxReader::ReadMessage(const ItemLocation& location)
{
    auto read = WithItem<MessageContent>(location, QStringLiteral("message"),
                                         [](libpff_item_t* item, const ItemFile& file) {
        MessageReading reading;
        reading.fileCodePage = file.codepage;
        reading.offlineCache = file.offlineCache;
        // The sources of streamed attachments take the lock themselves later;
        // reading here already holds it.
        reading.fileMutex = &file.mutex;
        MessageContent content = ReadMessageContent(item, reading);
        content.fingerprint = ItemFingerprintOf(item);
        return content;
    });
    if (read && read->missing.contains(MissingPart::Properties))
        return Failed(ReadError{QStringLiteral("the message can no longer be read from the mailbox")});
    return read;
}

std::optional<QByteArray> MailboxReader::FingerprintOf(uint32_t identifier)
{
    ItemLocation location;
    location.itemIdentifier = identifier;
    location.topLevelIdentifier = identifier;
    auto fingerprint = WithItem<QByteArray>(location, QStringLiteral("message"),
                                            [](libpff_item_t* item, const ItemFile&) { return ItemFingerprintOf(item); });
    if (!fingerprint)
        return std::nullopt;
    return *fingerprint;
}

ItemRead<AppointmentContent> MailboxReader::ReadAppointment(const ItemLocation& location)
{
    // A changed occurrence of a series is kept inside the series' item.
    return WithItem<AppointmentContent>(location, QStringLiteral("appointment"),
                                        [&](libpff_item_t* item, const ItemFile& file) {
        AppointmentContent content = ReadAppointmentContent(item, location.itemIdentifier, file.codepage);
        ReadAppointmentAttachments(item, file.codepage, content);
        return content;
    });
}

ItemRead<TaskContent> MailboxReader::ReadTask(const ItemLocation& location)
{
    return WithItem<TaskContent>(location, QStringLiteral("task"), [&](libpff_item_t* item, const ItemFile& file) {
        return ReadTaskContent(item, location.itemIdentifier, file.codepage);
    });
}

ItemRead<NoteContent> MailboxReader::ReadNote(const ItemLocation& location, bool journal)
{
    return WithItem<NoteContent>(location, journal ? QStringLiteral("journal entry") : QStringLiteral("note"),
                                 [&](libpff_item_t* item, const ItemFile& file) {
                                     return ReadNoteContent(item, location.itemIdentifier, file.codepage, journal);
                                 });
}

ItemRead<DistributionListContent> MailboxReader::ReadDistributionList(const ItemLocation& location)
{
    return WithItem<DistributionListContent>(location, QStringLiteral("distribution list"),
                                             [&](libpff_item_t* item, const ItemFile& file) {
        return ReadDistributionListContent(item, location.itemIdentifier, storeKey_, file.codepage);
    });
}

ItemRead<ContactItem> MailboxReader::ReadContact(const ContactRecord& record)
{
    const ItemLocation& location = record.location;
    return WithItem<ContactItem>(location, QStringLiteral("contact"), [&](libpff_item_t* item, const ItemFile& file) {
        ContactItem contact{record, ReadContactItemDetails(item, location.itemIdentifier, storeKey_, file.codepage)};
        ReadContactFields(item, file.codepage, contact.fields);
        return contact;
    });
}

}  // namespace tolvane
