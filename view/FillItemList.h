// The list fill of a clicked folder: which records of the store belong to the
// folder, under which column set. ComputeItemListFill is the pure part; the
// ItemListFiller runs it on its one fill worker and hands the result to the
// window's thread through a WorkerBridge, a later click cancelling an earlier fill.
// The worker is a QThread of the filler's own, waiting for the next request.
#pragma once

#include "view/ItemListModel.h"
#include "scan/ItemStore.h"

#include <QObject>
#include <functional>
#include <memory>
#include <optional>

class QThread;

namespace tolvane {

struct ItemListFill {
    // The column set the list ends with; none when the folder has no records
    // (the columns then stay as they were).
    std::optional<ColumnSet> columns;
    std::vector<ListRow> rows;
    bool cancelled = false;
};

// Contact, appointment and mail blocks in that order; a later block that has
// records for the folder replaces what an earlier one showed. Records are
// matched by their folder's key, so two folders of one name keep their own
// items; an empty key matches nothing. `keepGoing` is polled now and then;
// once it returns false the fill stops and comes back cancelled.
ItemListFill ComputeItemListFill(const QString& folderKey,
                                 const RecordList<ContactRecord>& contacts,
                                 const RecordList<AppointmentRecord>& appointments,
                                 const RecordList<MailRecord>& mail,
                                 const std::function<bool()>& keepGoing = {});

class WorkerBridge;

class ItemListFiller : public QObject {
    Q_OBJECT
public:
    // `store` is the session's; it outlives the filler and every fill it starts.
    ItemListFiller(ItemListModel* model, const ItemStore& store, QObject* parent = nullptr);
    // Cancels the fill at hand and waits for the worker, which stops at its next poll.
    ~ItemListFiller() override;

    // Hands the folder to the fill worker (window thread). Every earlier fill
    // is cancelled: whatever it has not shown yet is dropped, and a fill that
    // has not begun never runs.
    void FillItemList(const QString& folderKey);
    // Cancels any fill (Browse, Scan, Stop clear the list themselves).
    void CancelFills();
    // Fills asked for and not yet ended (`listFillThread` is set while this is non-zero).
    int runningFills() const;
    // Rows per hand-over to the window's thread.
    static constexpr std::size_t kBatchRows = 2000;

signals:
    // The fill of the folder clicked last has been shown completely.
    void fillCompleted(const QString& folderKey);

private:
    struct Requests;
    void runWorker();
    void fill(quint64 generation, const QString& folderKey);
    // Queues a change of the fill `generation`; it runs only if no later fill was asked for.
    void post(quint64 generation, std::function<void()> change);

    ItemListModel* model_;
    const ItemStore* store_;
    std::shared_ptr<WorkerBridge> bridge_;
    std::unique_ptr<Requests> requests_;
    std::unique_ptr<QThread> worker_;  // the fill worker: started with the first fill; ends with the filler
};

}  // namespace tolvane
