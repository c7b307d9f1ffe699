// The item record store: one session's folder-node, mail, contact and
// appointment lists and the item counter shared by the scan worker (the only
// writer) and its readers (whatever lists, shows or converts the items).
// Owned by whoever runs the session (a front end, a test) and handed to the
// others.
//
// Appends are O(1). Every list is guarded, so a reader only ever sees complete
// records. Readers take snapshots: a snapshot holds shared references to the
// records it lists, so ClearItemRecords never frees a record that a running
// worker (list fill, conversion) still reads.
#pragma once

#include "scan/InputFile.h"
#include "model/ItemRecords.h"
#include "scan/RecoveryReport.h"
#include "scan/StoreFolders.h"

#include <QStringList>

#include <atomic>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace tolvane {

template <typename Record>
using RecordList = std::vector<std::shared_ptr<const Record>>;

class BodySpill;

class ItemStore {
public:
    ItemStore();

    // Bodies too long to keep in memory go to a spill file made in this
    // directory (the process's temporary directory, which the scan hands
    // over); until one is given they stay in memory.
    void UseSpillDirectory(const QString& directory);

    // A kept body as the store keeps it: in memory or in its spill file.
    [[nodiscard]] StoredText KeepBody(QByteArray utf8) const;

    // The counter behind every record's `number`: incremented before each mail,
    // contact or appointment record is made; never reset, so a second scan
    // continues the numbering.
    int32_t NextItemNumber() { return ++itemNumber_; }
    int32_t itemNumber() const { return itemNumber_.load(); }

    void AddFolderNode(FolderNode node);
    void AddMailRecord(MailRecord record);
    void AddContactRecord(ContactRecord record);
    void AddAppointmentRecord(AppointmentRecord record);
    void AddOtherItem(OtherItemEntry entry);
    // An item the scan could not read ("where: why"), for whoever lists what
    // a conversion did not write.
    void AddSkippedItem(QString item);
    QStringList skippedItems() const;
    // Items read whole but of a kind that holds no mail, contact or calendar
    // item (data a client keeps for itself, free/busy times): "folder, item
    // n: its kind". They are named in every summary and the manifest, and
    // leave the rest a success.
    void AddNotConvertedItem(QString item);
    QStringList notConvertedItems() const;
    // What the last scan with recovery found; nullopt when the scan was not
    // asked to recover.
    void SetRecoveryReport(std::optional<RecoveryReport> report);
    std::optional<RecoveryReport> recoveryReport() const;
    // The mailbox file the last scan read: every later open must find it again.
    void SetMailboxIdentity(std::optional<FileIdentity> identity);
    std::optional<FileIdentity> mailboxIdentity() const;
    // Which folders the last scanned mailbox's store names for their part.
    void SetStoreFolders(StoreFolders folders);
    StoreFolders storeFolders() const;

    // Empties every list (folder nodes, mail, contacts, appointments, skipped
    // items) and forgets the recovery report and the store's folders.
    void ClearItemRecords();

    RecordList<FolderNode> folderNodes() const;
    RecordList<MailRecord> mailRecords() const;
    RecordList<ContactRecord> contactRecords() const;
    RecordList<AppointmentRecord> appointmentRecords() const;
    RecordList<OtherItemEntry> otherItems() const;

    std::size_t folderNodeCount() const;
    std::size_t mailCount() const;
    std::size_t contactCount() const;
    std::size_t appointmentCount() const;
    std::size_t otherItemCount() const;

    // First record of a kind with the given number, or null.
    [[nodiscard]] std::shared_ptr<const MailRecord> findMail(int32_t number) const;
    [[nodiscard]] std::shared_ptr<const ContactRecord> findContact(int32_t number) const;
    [[nodiscard]] std::shared_ptr<const AppointmentRecord> findAppointment(int32_t number) const;

private:
    std::shared_ptr<BodySpill> spill_;
    mutable std::mutex mutex_;
    std::atomic<int32_t> itemNumber_{0};
    RecordList<FolderNode> folderNodes_;
    RecordList<MailRecord> mail_;
    RecordList<ContactRecord> contacts_;
    RecordList<AppointmentRecord> appointments_;
    QStringList skipped_;
    std::optional<RecoveryReport> recoveryReport_;
    std::optional<FileIdentity> mailboxIdentity_;
    StoreFolders storeFolders_;
    QStringList notConverted_;
    RecordList<OtherItemEntry> otherItems_;
};

}  // namespace tolvane
