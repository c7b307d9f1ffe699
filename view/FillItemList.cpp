// List fill of a clicked folder: the pure computation and its worker.
#include "view/FillItemList.h"

#include "view/WorkerBridge.h"

#include <QThread>

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace tolvane {

namespace {

template <typename Record, typename KindTest, typename MakeRow>
bool FillBlock(const QString& folderKey, const RecordList<Record>& records, ListKind kind,
               KindTest passesKindTest, MakeRow makeRow, const std::function<bool()>& keepGoing,
               ItemListFill& fill)
{
    auto first = std::find_if(records.begin(), records.end(), [&](const auto& record) {
        return record->folderKey == folderKey;
    });
    if (first == records.end())
        return true;
    fill.rows.clear();
    fill.columns = passesKindTest(**first) ? ColumnSetFor(kind) : ColumnSet{};
    std::size_t visited = 0;
    for (auto it = first; it != records.end(); ++it) {
        if ((++visited & 1023) == 0 && keepGoing && !keepGoing())
            return false;
        const Record& record = **it;
        if (record.folderKey == folderKey)
            fill.rows.push_back(makeRow(record));
    }
    return true;
}

}  // namespace

ItemListFill ComputeItemListFill(const QString& folderKey,
                                 const RecordList<ContactRecord>& contacts,
                                 const RecordList<AppointmentRecord>& appointments,
                                 const RecordList<MailRecord>& mail,
                                 const std::function<bool()>& keepGoing)
{
    ItemListFill fill;
    // The file's own node stands for no folder.
    if (folderKey.isEmpty())
        return fill;
    const bool done =
        FillBlock(folderKey, contacts, ListKind::Contact,
                  [](const ContactRecord& r) { return r.itemType == ItemKind::Contact; }, ContactRow, keepGoing, fill)
        && FillBlock(folderKey, appointments, ListKind::Appointment,
                     [](const AppointmentRecord& r) { return r.itemType == ItemKind::Appointment; }, AppointmentRow,
                     keepGoing, fill)
        && FillBlock(folderKey, mail, ListKind::Mail,
                     [](const MailRecord& r) { return r.itemKind == ItemKind::Mail; }, MailRow, keepGoing, fill);
    if (!done) {
        fill = ItemListFill{};
        fill.cancelled = true;
    }
    return fill;
}

// The newest fill asked for and the worker's state; the window's thread and
// the worker meet only here. `generation` grows with every request and every
// cancel, so a fill whose generation is no longer current stops and shows nothing.
struct ItemListFiller::Requests {
    std::mutex mutex;
    std::condition_variable changed;
    std::optional<std::pair<quint64, QString>> next;  // the fill to run next
    bool busy = false;                                 // the worker runs a fill
    bool ending = false;                               // the filler goes away
    std::atomic<quint64> generation{0};
};

ItemListFiller::ItemListFiller(ItemListModel* model, const ItemStore& store, QObject* parent)
    : QObject(parent)
    , model_(model)
    , store_(&store)
    // The fill hands its rows over in batches of its own: they are shown at
    // the window's next turn, as soon as a click's first rows are there.
    , bridge_(WorkerBridge::Create(this, nullptr, {}, 0))
    , requests_(std::make_unique<Requests>())
{
}

ItemListFiller::~ItemListFiller()
{
    requests_->generation.fetch_add(1);
    bridge_->Detach();
    {
        std::lock_guard lock(requests_->mutex);
        requests_->ending = true;
        requests_->next.reset();
    }
    requests_->changed.notify_all();
    if (worker_)
        worker_->wait();
}

int ItemListFiller::runningFills() const
{
    std::lock_guard lock(requests_->mutex);
    return (requests_->busy ? 1 : 0) + (requests_->next ? 1 : 0);
}

void ItemListFiller::CancelFills()
{
    requests_->generation.fetch_add(1);
    std::lock_guard lock(requests_->mutex);
    requests_->next.reset();
}

void ItemListFiller::FillItemList(const QString& folderKey)
{
    const quint64 generation = requests_->generation.fetch_add(1) + 1;
    {
        std::lock_guard lock(requests_->mutex);
        requests_->next.emplace(generation, folderKey);
    }
    requests_->changed.notify_all();
    if (worker_)
        return;
    worker_.reset(QThread::create([this] { runWorker(); }));
    worker_->start();
    if (worker_->isRunning() || worker_->isFinished())
        return;
    // The machine refused the thread: the fill is dropped and the list stays
    // as it was; the next click tries again.
    worker_.reset();
    std::lock_guard lock(requests_->mutex);
    requests_->next.reset();
}

void ItemListFiller::runWorker()
{
    std::unique_lock lock(requests_->mutex);
    for (;;) {
        requests_->changed.wait(lock, [this] { return requests_->ending || requests_->next; });
        if (requests_->ending)
            return;
        auto [generation, folderKey] = std::move(*requests_->next);
        requests_->next.reset();
        requests_->busy = true;
        lock.unlock();
        fill(generation, folderKey);
        lock.lock();
        requests_->busy = false;
    }
}

void ItemListFiller::post(quint64 generation, std::function<void()> change)
{
    Requests* requests = requests_.get();
    bridge_->Post([requests, generation, change = std::move(change)] {
        // A later click has made this fill's output stale.
        if (generation == requests->generation.load())
            change();
    });
}

void ItemListFiller::fill(quint64 generation, const QString& folderKey)
{
    auto current = [this, generation] { return requests_->generation.load() == generation; };
    if (!current())
        return;
    ItemListModel* model = model_;
    post(generation, [model] { model->DeleteAllRows(); });
    const ItemStore& store = *store_;
    ItemListFill fill = ComputeItemListFill(folderKey, store.contactRecords(), store.appointmentRecords(),
                                            store.mailRecords(), current);
    if (fill.cancelled || !current())
        return;
    if (fill.columns)
        post(generation, [model, columns = *fill.columns] { model->SetColumns(columns); });
    for (std::size_t start = 0; start < fill.rows.size() && current(); start += kBatchRows) {
        const std::size_t end = std::min(fill.rows.size(), start + kBatchRows);
        std::vector<ListRow> batch(std::make_move_iterator(fill.rows.begin() + start),
                                   std::make_move_iterator(fill.rows.begin() + end));
        post(generation, [model, batch = std::move(batch)] { model->AppendRows(batch); });
    }
    ItemListFiller* filler = this;
    post(generation, [filler, folderKey] { emit filler->fillCompleted(folderKey); });
}

}  // namespace tolvane
