// Item record store: guarded O(1) appends and snapshot reads.
#include "scan/ItemStore.h"

#include "model/BodySpill.h"

#include <algorithm>
#include <limits>
#include <optional>

namespace tolvane {

namespace {

template <typename Record>
std::shared_ptr<const Record> findByNumber(const RecordList<Record>& list, int32_t number)
{
    auto it = std::find_if(list.begin(), list.end(),
                           [number](const auto& record) { return record->number == number; });
    return it == list.end() ? nullptr : *it;
}

}  // namespace

ItemStore::ItemStore()
    : spill_(std::make_shared<BodySpill>())
{
}

void ItemStore::UseSpillDirectory(const QString& directory)
{
    spill_->UseDirectory(directory);
}

StoredText ItemStore::KeepBody(QByteArray utf8) const
{
    return StoredText::fromUtf8(std::move(utf8), spill_);
}

void ItemStore::AddFolderNode(FolderNode node)
{
    auto record = std::make_shared<const FolderNode>(std::move(node));
    std::lock_guard lock(mutex_);
    folderNodes_.push_back(std::move(record));
}

void ItemStore::AddMailRecord(MailRecord record)
{
    auto shared = std::make_shared<const MailRecord>(std::move(record));
    std::lock_guard lock(mutex_);
    mail_.push_back(std::move(shared));
}

void ItemStore::AddContactRecord(ContactRecord record)
{
    auto shared = std::make_shared<const ContactRecord>(std::move(record));
    std::lock_guard lock(mutex_);
    contacts_.push_back(std::move(shared));
}

void ItemStore::AddAppointmentRecord(AppointmentRecord record)
{
    auto shared = std::make_shared<const AppointmentRecord>(std::move(record));
    std::lock_guard lock(mutex_);
    appointments_.push_back(std::move(shared));
}

void ItemStore::AddOtherItem(OtherItemEntry entry)
{
    auto shared = std::make_shared<const OtherItemEntry>(std::move(entry));
    std::lock_guard lock(mutex_);
    otherItems_.push_back(std::move(shared));
}

void ItemStore::AddSkippedItem(QString item)
{
    std::lock_guard lock(mutex_);
    skipped_.append(std::move(item));
}

QStringList ItemStore::skippedItems() const
{
    std::lock_guard lock(mutex_);
    return skipped_;
}

void ItemStore::SetRecoveryReport(std::optional<RecoveryReport> report)
{
    std::lock_guard lock(mutex_);
    recoveryReport_ = std::move(report);
}

std::optional<RecoveryReport> ItemStore::recoveryReport() const
{
    std::lock_guard lock(mutex_);
    return recoveryReport_;
}

void ItemStore::AddNotConvertedItem(QString item)
{
    std::lock_guard lock(mutex_);
    notConverted_.append(std::move(item));
}

QStringList ItemStore::notConvertedItems() const
{
    std::lock_guard lock(mutex_);
    return notConverted_;
}

void ItemStore::SetMailboxIdentity(std::optional<FileIdentity> identity)
{
    std::lock_guard lock(mutex_);
    mailboxIdentity_ = identity;
}

std::optional<FileIdentity> ItemStore::mailboxIdentity() const
{
    std::lock_guard lock(mutex_);
    return mailboxIdentity_;
}

void ItemStore::SetStoreFolders(StoreFolders folders)
{
    std::lock_guard lock(mutex_);
    storeFolders_ = std::move(folders);
}

StoreFolders ItemStore::storeFolders() const
{
    std::lock_guard lock(mutex_);
    return storeFolders_;
}

void ItemStore::ClearItemRecords()
{
    // Swap out under the lock, release outside it: snapshots keep what they hold.
    RecordList<FolderNode> folders;
    RecordList<MailRecord> mail;
    RecordList<ContactRecord> contacts;
    RecordList<AppointmentRecord> appointments;
    RecordList<OtherItemEntry> others;
    {
        std::lock_guard lock(mutex_);
        others.swap(otherItems_);
        folders.swap(folderNodes_);
        mail.swap(mail_);
        contacts.swap(contacts_);
        appointments.swap(appointments_);
        skipped_.clear();
        recoveryReport_.reset();
        mailboxIdentity_.reset();
        storeFolders_ = StoreFolders();
        notConverted_.clear();
    }
}

RecordList<FolderNode> ItemStore::folderNodes() const
{
    std::lock_guard lock(mutex_);
    return folderNodes_;
}

RecordList<MailRecord> ItemStore::mailRecords() const
{
    std::lock_guard lock(mutex_);
    return mail_;
}

RecordList<ContactRecord> ItemStore::contactRecords() const
{
    std::lock_guard lock(mutex_);
    return contacts_;
}

RecordList<AppointmentRecord> ItemStore::appointmentRecords() const
{
    std::lock_guard lock(mutex_);
    return appointments_;
}

RecordList<OtherItemEntry> ItemStore::otherItems() const
{
    std::lock_guard lock(mutex_);
    return otherItems_;
}

std::size_t ItemStore::otherItemCount() const
{
    std::lock_guard lock(mutex_);
    return otherItems_.size();
}

std::size_t ItemStore::folderNodeCount() const
{
    std::lock_guard lock(mutex_);
    return folderNodes_.size();
}

std::size_t ItemStore::mailCount() const
{
    std::lock_guard lock(mutex_);
    return mail_.size();
}

std::size_t ItemStore::contactCount() const
{
    std::lock_guard lock(mutex_);
    return contacts_.size();
}

std::size_t ItemStore::appointmentCount() const
{
    std::lock_guard lock(mutex_);
    return appointments_.size();
}

std::shared_ptr<const MailRecord> ItemStore::findMail(int32_t number) const
{
    std::lock_guard lock(mutex_);
    return findByNumber(mail_, number);
}

std::shared_ptr<const ContactRecord> ItemStore::findContact(int32_t number) const
{
    std::lock_guard lock(mutex_);
    return findByNumber(contacts_, number);
}

std::shared_ptr<const AppointmentRecord> ItemStore::findAppointment(int32_t number) const
{
    std::lock_guard lock(mutex_);
    return findByNumber(appointments_, number);
}

}  // namespace tolvane
