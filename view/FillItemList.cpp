// List fill of a clicked folder: the pure computation and its worker.
#include "FillItemList.h"

#include <QMetaObject>
#include <atomic>
#include <mutex>
#include <thread>

namespace tolvane {

namespace {

template <typename Record, typename KindTest, typename MakeRow>
bool FillBlock(const QString& folderName, const RecordList<Record>& records, ListKind kind,
               KindTest passesKindTest, MakeRow makeRow, const std::function<bool()>& keepGoing,
               ItemListFill& fill)
{
    auto first = std::find_if(records.begin(), records.end(), [&](const auto& record) {
        return !record->folderName.isNull() && record->folderName == folderName;
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
        if (!record.folderName.isNull() && record.folderName == folderName)
            fill.rows.push_back(makeRow(record));
    }
    return true;
}

}  // namespace

ItemListFill ComputeItemListFill(const QString& folderName,
                                 const RecordList<ContactRecord>& contacts,
                                 const RecordList<AppointmentRecord>& appointments,
                                 const RecordList<MailRecord>& mail,
                                 const std::function<bool()>& keepGoing)
{
    ItemListFill fill;
    const bool done =
        FillBlock(folderName, contacts, ListKind::Contact,
                  [](const ContactRecord& r) { return r.itemType == 7; }, ContactRow, keepGoing, fill)
        && FillBlock(folderName, appointments, ListKind::Appointment,
                     [](const AppointmentRecord& r) { return r.itemType == 2; }, AppointmentRow,
                     keepGoing, fill)
        && FillBlock(folderName, mail, ListKind::Mail,
                     [](const MailRecord& r) { return r.itemKind == 0; }, MailRow, keepGoing, fill);
    if (!done) {
        fill = ItemListFill{};
        fill.cancelled = true;
    }
    return fill;
}

// State shared between the filler (window thread) and its workers. The mutex
// guards `filler` (cleared when the filler goes away, so a worker never posts
// to a destroyed object) and the queue of changes. Workers wake the filler by
// invoking its slot by name, so their data never rides the toolkit's queue.
struct ItemListFiller::Shared {
    std::mutex mutex;
    ItemListFiller* filler = nullptr;
    std::vector<std::pair<quint64, std::function<void()>>> pending;
    bool wakeupPosted = false;
    std::atomic<quint64> generation{0};
    std::atomic<int> running{0};

    void post(quint64 forGeneration, std::function<void()> change)
    {
        std::lock_guard lock(mutex);
        if (!filler)
            return;
        pending.emplace_back(forGeneration, std::move(change));
        if (!wakeupPosted) {
            wakeupPosted = true;
            QMetaObject::invokeMethod(filler, "drainPending", Qt::QueuedConnection);
        }
    }
};

ItemListFiller::ItemListFiller(ItemListModel* model, const ItemStore& store, QObject* parent)
    : QObject(parent)
    , model_(model)
    , store_(&store)
    , shared_(std::make_shared<Shared>())
{
    shared_->filler = this;
}

ItemListFiller::~ItemListFiller()
{
    std::lock_guard lock(shared_->mutex);
    shared_->filler = nullptr;
    shared_->generation.fetch_add(1);
}

int ItemListFiller::runningFills() const
{
    return shared_->running.load();
}

void ItemListFiller::CancelFills()
{
    shared_->generation.fetch_add(1);
}

void ItemListFiller::drainPending()
{
    std::vector<std::pair<quint64, std::function<void()>>> changes;
    {
        std::lock_guard lock(shared_->mutex);
        changes.swap(shared_->pending);
        shared_->wakeupPosted = false;
    }
    for (const auto& [generation, change] : changes) {
        // A later click has made this fill's output stale.
        if (generation == shared_->generation.load())
            change();
    }
}

void ItemListFiller::FillItemList(const QString& folderName)
{
    const quint64 generation = shared_->generation.fetch_add(1) + 1;
    shared_->running.fetch_add(1);
    std::thread([shared = shared_, store = store_, generation, folderName] {
        auto current = [&] { return shared->generation.load() == generation; };
        ItemListModel* model = nullptr;
        {
            std::lock_guard lock(shared->mutex);
            if (shared->filler)
                model = shared->filler->model_;
        }
        if (model && current()) {
            shared->post(generation, [model] { model->DeleteAllRows(); });
            ItemListFill fill = ComputeItemListFill(folderName, store->contactRecords(),
                                                    store->appointmentRecords(), store->mailRecords(),
                                                    current);
            if (!fill.cancelled && current()) {
                if (fill.columns)
                    shared->post(generation, [model, columns = *fill.columns] { model->SetColumns(columns); });
                for (std::size_t start = 0; start < fill.rows.size() && current(); start += kBatchRows) {
                    const std::size_t end = std::min(fill.rows.size(), start + kBatchRows);
                    std::vector<ListRow> batch(std::make_move_iterator(fill.rows.begin() + start),
                                               std::make_move_iterator(fill.rows.begin() + end));
                    shared->post(generation, [model, batch = std::move(batch)] { model->AppendRows(batch); });
                }
                ItemListFiller* filler = nullptr;
                {
                    std::lock_guard lock(shared->mutex);
                    filler = shared->filler;
                }
                if (filler)
                    shared->post(generation, [filler, folderName] { emit filler->fillCompleted(folderName); });
            }
        }
        shared->running.fetch_sub(1);
    }).detach();
}

}  // namespace tolvane
