// Preview of the selected item.
#include "app/PreviewController.h"

#include "app/MailBodyLoader.h"
#include "view/CExplorer1.h"
#include "view/ItemListModel.h"
#include "scan/ItemStore.h"
#include "frontend/RecordText.h"
#include "view/PreviewPages.h"

#include <QItemSelectionModel>
#include <QLabel>
#include <algorithm>

namespace tolvane {

PreviewController::PreviewController(QItemSelectionModel* selection, CExplorer1* browser,
                                     std::array<QLabel*, 4> values, const ItemStore& store,
                                     const ProcessTempDir& tempDir, QObject* parent)
    : QObject(parent)
    , selection_(selection)
    , browser_(browser)
    , values_(values)
    , store_(store)
    , tempDir_(tempDir)
    , loader_(new MailBodyLoader(this))
{
    connect(loader_, &MailBodyLoader::bodyLoaded, this, &PreviewController::showBody);
}

void PreviewController::setMailboxPath(const QString& pstPath)
{
    ++request_;
    pstPath_ = pstPath;
    loader_->Forget();
}

bool PreviewController::showPage(const QString& path, const QString& page)
{
    if (!WritePreviewFile(path, page))
        return false;
    browser_->Navigate(path);
    emit previewShown(path);
    return true;
}

void PreviewController::showBody(quint64 request, const PreviewBody& body)
{
    const QString dir = PreviewDirectory(tempDir_);
    if (request != request_ || body.kind == PreviewBody::Kind::None || dir.isEmpty())
        return;
    browser_->setInlineImages(body.images);
    const bool html = body.kind == PreviewBody::Kind::Html;
    const QString path = dir + (html ? QStringLiteral("temp.html") : QStringLiteral("temp.txt"));
    if (showPage(path, html ? DisarmPagePragmas(body.text) : body.text))
        emit bodyShown(path);
}

void PreviewController::BuildPreview()
{
    const QModelIndexList selected = selection_->selectedIndexes();
    if (selected.isEmpty())
        return;
    // The first selected row as the list shows it (sorted and filtered).
    QModelIndex first = selected.first();
    for (const QModelIndex& index : selected) {
        if (index.row() < first.row())
            first = index;
    }
    const QVariant itemData = first.data(ItemListModel::ItemRole);
    if (!itemData.canConvert<ItemRef>())
        return;
    const std::optional<ItemRef> item = itemData.value<ItemRef>();
    const QString dir = PreviewDirectory(tempDir_);
    // Whatever was being read for an earlier selection is no longer wanted,
    // and no page may load the images of a mail no longer shown.
    ++request_;
    browser_->setInlineImages({});
    if (item->kind == ListKind::Mail) {
        const auto record = store_.findMail(item->number);
        if (!record)
            return;
        values_[0]->setText(RecordText::SenderName(*record));
        values_[1]->setText(RecordText::DeliveryTime(*record));
        values_[2]->setText(record->subject);
        values_[3]->setText(AttachmentLabelText(*record, dir));
        if (!dir.isEmpty())
            showPage(dir + MailPreviewFileName(*record), MailPreviewPage(*record));
        if (!pstPath_.isEmpty())
            loader_->Load(request_, pstPath_, record->location, store_.mailboxIdentity());
        return;
    }
    // The labels describe a mail: anything else must not go on showing the last one's.
    for (QLabel* value : values_)
        value->clear();
    QString page;
    if (item->kind == ListKind::Contact) {
        const auto record = store_.findContact(item->number);
        if (!record)
            return;
        page = ContactPreviewPage(*record);
    } else {
        const auto record = store_.findAppointment(item->number);
        if (!record)
            return;
        page = AppointmentPreviewPage(*record);
    }
    if (!dir.isEmpty())
        showPage(dir + QStringLiteral("temp.html"), page);
}

}  // namespace tolvane
