// The preview of the item list's selection: finds the record of the first
// selected row through the row's ItemRole, fills the four labels under the
// list (a mail's From, Date, Subject and Attachment) and shows the record's
// page in the preview pane. For a mail it then reads the body the conversion
// would write (the scan keeps no body for mail stored as RTF) with its inline
// images, off the window's thread, and shows that once it is there. The window
// owns the controls; this only fills them.
#pragma once

#include <QObject>
#include <QString>
#include <array>

class QItemSelectionModel;
class QLabel;

namespace tolvane {

class CExplorer1;
class ItemListModel;
class ItemStore;
class ProcessTempDir;
class MailBodyLoader;
struct PreviewBody;

class PreviewController : public QObject {
    Q_OBJECT
public:
    // values: the From, Date, Subject and Attachment value labels. The
    // records come from `store`; the pages are written into `tempDir`.
    PreviewController(QItemSelectionModel* selection, CExplorer1* browser,
                      std::array<QLabel*, 4> values, const ItemStore& store, const ProcessTempDir& tempDir,
                      QObject* parent = nullptr);

    // Shows the first selected row's record; nothing selected changes nothing.
    void BuildPreview();

    // The mailbox the records were scanned from, where mail bodies are read.
    void setMailboxPath(const QString& pstPath);

    MailBodyLoader* bodyLoader() const { return loader_; }

signals:
    // A page was written to `path` and the pane told to show it.
    void previewShown(const QString& path);
    // The mail's body as the conversion reads it was written to `path` and shown.
    void bodyShown(const QString& path);

private:
    bool showPage(const QString& path, const QString& page);
    void showBody(quint64 request, const PreviewBody& body);

    QItemSelectionModel* selection_;
    CExplorer1* browser_;
    std::array<QLabel*, 4> values_;
    const ItemStore& store_;
    const ProcessTempDir& tempDir_;
    MailBodyLoader* loader_ = nullptr;
    QString pstPath_;
    quint64 request_ = 0;  // the latest body read asked for; older answers are dropped
};

}  // namespace tolvane
