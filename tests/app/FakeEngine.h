// A scan driver and a conversion runner that behave like the real ones towards
// the window (same sink calls, same gate checkpoints) over a small fixed
// mailbox, so window tests are exact and quick. A checkpoint hook can hold a
// worker at a chosen item until the test releases it.
#pragma once

#include "scan/ItemStore.h"
#include "scan/TimeText.h"
#include "frontend/ScanSink.h"
#include "app/WindowServices.h"
#include "scan/WorkerGate.h"

#include <QFileInfo>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace tolvane::testing {

// Holds a worker inside its checkpoint hook at one ordinal.
class WorkerHold {
public:
    void install(WorkerGate& gate, long ordinal)
    {
        gate_ = &gate;
        gate.setCheckpointHook([this, ordinal](long n) {
            if (n != ordinal)
                return;
            std::unique_lock lock(mutex_);
            reached_ = true;
            changed_.wait(lock, [this] { return released_; });
        });
    }
    bool reached() const
    {
        std::lock_guard lock(mutex_);
        return reached_;
    }
    void release()
    {
        std::lock_guard lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }
    // After release, the worker goes on into the gate and blocks there while a pause is requested.
    void waitUntilHeldByGate() const
    {
        while (!gate_->isHeld() && !gate_->isAbandoned())
            std::this_thread::yield();
    }
    WorkerGate* gate() const { return gate_; }

private:
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    bool reached_ = false;
    bool released_ = false;
    WorkerGate* gate_ = nullptr;
};

struct FakeMailbox {
    // The folder key the fake's records and nodes carry: one per name, as
    // every folder of the fake has a name of its own.
    static QString KeyOf(const QString& folderName)
    {
        return folderName == QStringLiteral("Top of Personal Folders")
                   ? QStringLiteral("\\Top of Personal Folders")
                   : QStringLiteral("\\Top of Personal Folders\\") + folderName;
    }

    int mailCount = 20;
    bool failOpen = false;
    QStringList skipped;  // places reported as unreadable, each with the reason "unreadable"
    std::atomic<bool> returned{false};

    ScanOutcome operator()(const ShownScan& scan)
    {
        const ScanRequest& request = scan.request;
        struct Done {
            std::atomic<bool>& flag;
            ~Done() { flag = true; }
        } done{returned};
        ScanSink& sink = *scan.sink;
        ItemStore& store = *request.store;
        sink.DisableScanButton();
        sink.ShowWaitWindow();
        sink.CloseWaitWindow();
        if (failOpen) {
            sink.ShowNotice(QStringLiteral("Please check file use in another proess or File is highly corrupted! Please select another file OR contact support team.."));
            sink.RunBrowseProcedure();
            return ScanOutcome::OpenFailed;
        }
        FolderId lastFolder = 0;
        auto folder = [&](TreeNodeId parentNode, FolderId parent, const QString& parentText, const QString& name,
                          int depth) {
            const TreeNodeId node = sink.InsertFolderNode(parentNode, name);
            sink.SetFolderKey(node, KeyOf(name));
            FolderNode record;
            record.name = name;
            record.parentText = parentText;
            record.depth = depth;
            record.parent = parent;
            record.id = ++lastFolder;
            store.AddFolderNode(record);
            return std::make_pair(node, record.id);
        };
        const QString topName = QStringLiteral("Top of Personal Folders");
        const auto [top, topId] = folder(scan.rootNode, 0, request.pstPath, topName, 1);
        for (const char* name : {"Inbox", "Contacts", "People", "Calendar"})
            folder(top, topId, topName, QString::fromLatin1(name), 2);
        for (int i = 1; i <= mailCount; ++i) {
            if (request.gate && !request.gate->Checkpoint()) {
                return ScanOutcome::Abandoned;
            }
            MailRecord mail;
            mail.folderName = QStringLiteral("Inbox");
            mail.folderKey = KeyOf(mail.folderName);
            mail.number = store.NextItemNumber();
            mail.senderName = QStringLiteral("Sender %1").arg(i);
            mail.subject = QStringLiteral("Message %1").arg(i);
            mail.deliveryTime = FileTime{DateTimeToFiletime(QDateTime(QDate(2011, 3, 5), QTime(9, 7, 0), Qt::UTC))};
            mail.body = StoredText::fromString(QStringLiteral("<p>Body of message %1 – Grüße</p>").arg(i));
            mail.bodyKind = BodyKind::Html;
            mail.attachments = i == 1 ? QStringList{QStringLiteral("notes.txt")} : QStringList();
            store.AddMailRecord(mail);
            sink.InsertMailRow(mail);
            sink.SetProgress(i * 100 / mailCount);
        }
        if (request.gate && !request.gate->Checkpoint()) {
            return ScanOutcome::Abandoned;
        }
        ContactRecord contact;
        contact.folderName = QStringLiteral("Contacts");
        contact.folderKey = KeyOf(contact.folderName);
        contact.number = store.NextItemNumber();
        contact.givenName = QStringLiteral("Bo");
        store.AddContactRecord(contact);
        MailRecord filedInContacts;
        filedInContacts.folderName = QStringLiteral("Contacts");
        filedInContacts.folderKey = KeyOf(filedInContacts.folderName);
        filedInContacts.number = store.NextItemNumber();
        filedInContacts.subject = QStringLiteral("Filed with the contacts");
        filedInContacts.body = StoredText::fromString(QStringLiteral("plain"));
        store.AddMailRecord(filedInContacts);
        sink.InsertMailRow(filedInContacts);
        ContactRecord person;
        person.folderName = QStringLiteral("People");
        person.folderKey = KeyOf(person.folderName);
        person.number = store.NextItemNumber();
        person.givenName = QStringLiteral("Eva <b>");
        person.surname = QStringLiteral("Berg");
        store.AddContactRecord(person);
        AppointmentRecord meeting;
        meeting.folderName = QStringLiteral("Calendar");
        meeting.folderKey = KeyOf(meeting.folderName);
        meeting.number = store.NextItemNumber();
        meeting.startTime = FileTime{DateTimeToFiletime(QDateTime(QDate(2012, 4, 1), QTime(10, 0, 0), Qt::UTC))};
        store.AddAppointmentRecord(meeting);
        for (const QString& place : skipped)
            sink.ItemSkipped(place, QStringLiteral("unreadable"));
        sink.ShowNotice(QStringLiteral("Analysis completed"));
        sink.ScanSucceeded();
        return ScanOutcome::Completed;
    }
};

// Converts five "items", one checkpoint each, then reports completion.
class FakeConversions final : public ConversionRunner {
public:
    ~FakeConversions() override
    {
        if (worker_.joinable())
            worker_.join();
    }
    DestinationCheck CheckDestination(const QString& path) const override
    {
        if (path.isEmpty())
            return DestinationCheck::Empty;
        return QFileInfo::exists(path) ? DestinationCheck::Accepted : DestinationCheck::Missing;
    }
    ConversionStart Start(const ConversionRequest& request) override
    {
        if (running_)
            return Refused(StartRefusal::AlreadyRunning);
        if (worker_.joinable())
            worker_.join();
        running_ = true;
        ++starts;
        worker_ = std::thread([this, request] {
            for (int i = 1; i <= 5; ++i) {
                if (request.gate && !request.gate->Checkpoint()) {
                    running_ = false;
                    return;
                }
                ConversionPosition position;
                position.done = i;
                position.total = 10;
                position.percent = i * 10;
                request.sink->SetProgress(position);
            }
            request.sink->ShowCompletion(ConversionSummary{});
            request.sink->ConversionFinished(ConversionSummary{});
            running_ = false;
        });
        return {};
    }
    bool isRunning() const override { return running_; }
    std::atomic<int> starts{0};

private:
    std::atomic<bool> running_{false};
    std::thread worker_;
};

}  // namespace tolvane::testing
