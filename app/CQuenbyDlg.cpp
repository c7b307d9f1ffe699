// Main window: what its commands do, the scan and conversion it starts and
// follows, drops, resizing and the list's columns. Its controls and menus
// are built in CQuenbyDlgControls.cpp.
#include "app/CQuenbyDlg.h"

#include "app/CAboutDlg.h"
#include "view/CExplorer1.h"
#include "view/CFolderTreeCtrl1.h"
#include "app/ConversionJobController.h"
#include "app/DialogUnits.h"
#include "view/FillItemList.h"
#include "view/ItemListModel.h"
#include "view/ItemListProxy.h"
#include "scan/ItemStore.h"
#include "app/LoadIDialog.h"
#include "app/PreviewController.h"
#include "view/PreviewPages.h"
#include "app/ScanJobController.h"
#include "frontend/TolvaneVersion.h"
#include "app/UserGuideWindow.h"
#include "view/UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QLocale>
#include <QMimeData>
#include <QScreen>
#include <optional>

// The window's pictures and pages are compiled into this static library.
static void InitialiseAppResources()
{
    Q_INIT_RESOURCE(app);
}

namespace tolvane {

QString ProductPageAddress()
{
    return QStringLiteral("qrc:/tolvane/app/product.html");
}

QString UserGuideAddress()
{
    return QStringLiteral("qrc:/tolvane/app/guide.html");
}

namespace {

bool IsOfflineCacheName(const QString& path)
{
    return path.endsWith(QStringLiteral(".ost"), Qt::CaseInsensitive);
}

// The path of a dragged mailbox: one local file whose name ends in ".pst"
// (or ".ost", an offline cache).
std::optional<QString> DraggedMailbox(const QMimeData* data)
{
    if (data == nullptr || !data->hasUrls() || data->urls().size() != 1)
        return std::nullopt;
    const QUrl url = data->urls().first();
    const QString path = url.toLocalFile();
    if (!url.isLocalFile()
        || !(path.endsWith(QStringLiteral(".pst"), Qt::CaseInsensitive) || IsOfflineCacheName(path)))
        return std::nullopt;
    return path;
}

QString ShownCountText(int shown, int total, bool filtered)
{
    const QString items = total == 1 ? QStringLiteral("item") : QStringLiteral("items");
    if (!filtered)
        return QStringLiteral("%1 %2").arg(QLocale().toString(total), items);
    return QStringLiteral("%1 of %2 %3").arg(QLocale().toString(shown), QLocale().toString(total), items);
}

}  // namespace

CQuenbyDlg::CQuenbyDlg(WindowServices services, QWidget* parent)
    : QDialog(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint
                          | Qt::WindowCloseButtonHint)
    , services_(std::move(services))
    , prompts_(services_.prompts != nullptr ? services_.prompts : &standardPrompts_)
{
    InitialiseAppResources();
    setObjectName(QStringLiteral("mainWindow"));
    setWindowTitle(QStringLiteral("Tolvane ") + QLatin1String(kProductVersion));
    setWindowIcon(QIcon(QStringLiteral(":/tolvane/app/tolvane.svg")));
    setSizeGripEnabled(true);
    createControls();
    createMenu();
    scan_ = std::make_unique<ScanJobController>(this, listModel_, services_.runScan, services_.prepareScanGate);
    conversion_ = std::make_unique<ConversionJobController>(this, services_.conversions,
                                                            services_.prepareConversionGate, services_.clock);
    connect(scan_.get(), &ScanJobController::workerEnded, this, &CQuenbyDlg::scanWorkerEnded);
    connect(conversion_.get(), &ConversionJobController::finished, this, &CQuenbyDlg::conversionWorkerEnded);

    // Window initialisation.
    listModel_->SetColumns(InitialColumnSet());
    showCommands();
    startDirectory_ = QDir::currentPath().left(260);
    browser_->Navigate(ProductPageAddress());

    layOutControls();
    showRowCounts();
    const DialogUnits units(font());
    const QSize designed = units.size(673, 401) + QSize(0, menuBar_->sizeHint().height());
    setMinimumSize(QSize(640, 480).boundedTo(designed));
    // The designed size, or more of a large screen.
    QSize size = designed;
    if (const QScreen* shown = screen()) {
        const QSize available = shown->availableGeometry().size();
        size = designed.expandedTo(available * 0.8).boundedTo(available).expandedTo(minimumSize());
    }
    resize(size);
    setAcceptDrops(true);
    qApp->installEventFilter(this);
}

CQuenbyDlg::~CQuenbyDlg()
{
    qApp->removeEventFilter(this);
    // Nothing a worker sends from now on reaches the window.
    scan_.reset();
    conversion_.reset();
}

void CQuenbyDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The banner gives up height first when the window is made low.
    const DialogUnits units(font());
    const int bannerHeight = std::clamp(height() * 54 / 401, units.y(27), units.y(54));
    if (banner_->height() != bannerHeight)
        banner_->setFixedHeight(bannerHeight);
}

void CQuenbyDlg::applyListColumns()
{
    const ColumnSet& columns = listModel_->columns();
    QStringList headings;
    for (const ListColumn& column : columns)
        headings << column.heading;
    // A sort by a heading the new set does not have at that place ends.
    QHeaderView* header = list_->horizontalHeader();
    const int sorted = header->sortIndicatorSection();
    if (sorted >= 0 && (sorted >= headings.size() || sorted >= shownHeadings_.size()
                        || headings.at(sorted) != shownHeadings_.at(sorted)))
        header->setSortIndicator(-1, Qt::AscendingOrder);
    // The same layout again keeps the widths its first fill fitted (or the
    // user dragged); a new one starts from its own and is fitted once filled.
    const bool keepWidths = headings == shownHeadings_ && columnsFitted_;
    if (!keepWidths) {
        shownHeadings_ = headings;
        columnsFitted_ = false;
    }
    applyingColumns_ = true;
    for (int i = 0; i < columns.size(); ++i) {
        list_->setColumnHidden(i, columns[i].width == 0);
        if (columns[i].width > 0)
            list_->setColumnWidth(i, keepWidths ? fittedWidths_.value(i, columns[i].width) : columns[i].width);
    }
    applyingColumns_ = false;
}

void CQuenbyDlg::fitListColumns()
{
    if (columnsFitted_ || listModel_->rowCount() == 0)
        return;
    // Each shown column as wide as its heading and its first rows' texts,
    // none wider than a third of the list.
    const int widest = std::max(list_->viewport()->width() / 3, 120);
    for (int i = 0; i < listModel_->columnCount(); ++i) {
        if (list_->isColumnHidden(i))
            continue;
        list_->resizeColumnToContents(i);
        list_->setColumnWidth(i, std::min(list_->columnWidth(i) + 8, widest));
    }
    columnsFitted_ = true;
    fittedWidths_.clear();
    for (int i = 0; i < listModel_->columnCount(); ++i)
        fittedWidths_ << list_->columnWidth(i);
}

void CQuenbyDlg::showRowCounts()
{
    shownCount_->setText(ShownCountText(listProxy_->shownRows(), listProxy_->totalRows(),
                                        !listProxy_->filterText().isEmpty()));
}

void CQuenbyDlg::moveCommands(CommandEvent event)
{
    commandState_ = NextCommandState(commandState_, event);
    showCommands();
}

void CQuenbyDlg::showCommands()
{
    const EnabledCommands commands = CommandsOf(commandState_);
    browseButton_->setEnabled(commands.browse);
    scanButton_->setEnabled(commands.scan);
    convertButton_->setEnabled(commands.convert);
    stopButton_->setEnabled(commands.stop);
    openAction_->setEnabled(commands.open);
    // Chooses a file as Browse does, and is there when Browse is.
    scanOfflineCacheAction_->setEnabled(commands.browse);
    scanAction_->setEnabled(commands.scanItem);
    scanWithRecoveryAction_->setEnabled(commands.scanItem);
    convertAction_->setEnabled(commands.convertItem);
    convertTickedAction_->setEnabled(commands.convertItem && !tree_->tickedFolderKeys().isEmpty());
    convertMboxAction_->setEnabled(commands.convertItem);
    convertMaildirAction_->setEnabled(commands.convertItem);
    convertMboxTreeAction_->setEnabled(commands.convertItem);
}

void CQuenbyDlg::clearViewAndStore()
{
    filler_->CancelFills();
    tree_->DeleteAllNodes();
    rootNode_ = 0;
    listModel_->DeleteAllRows();
    services_.store->ClearItemRecords();
}

void CQuenbyDlg::BrowseProcedure()
{
    const QString path = prompts().ChooseFile(this, QStringLiteral("Select File..."),
                                                  QStringLiteral("Microsoft Outlook PST File (*pst) (*.pst)"));
    if (path.isEmpty())
        return;
    ChooseFile(path);
}

void CQuenbyDlg::ChooseFile(const QString& path)
{
    clearViewAndStore();
    pstPath_ = QFileInfo(path).absoluteFilePath();
    pathEdit_->setText(pstPath_);
    filterEdit_->clear();
    list_->setSelectionBehavior(QAbstractItemView::SelectRows);
    rootNode_ = tree_->InsertFolderNode(0, pstPath_);
    moveCommands(CommandEvent::FileChosen);
}

void CQuenbyDlg::OnScan()
{
    startScan(false);
}

void CQuenbyDlg::OnScanWithRecovery()
{
    startScan(true);
}

void CQuenbyDlg::OnScanOfflineCache()
{
    if (!browseButton_->isEnabled())
        return;
    const QString path = prompts().ChooseFile(this, QStringLiteral("Select Offline Cache File..."),
                                              QStringLiteral("Offline cache file (*.ost) (*.ost)"));
    if (path.isEmpty())
        return;
    ScanOfflineCache(path);
}

void CQuenbyDlg::ScanOfflineCache(const QString& path)
{
    ChooseFile(path);
    startScan(false, OstFiles::Accepted);
}

void CQuenbyDlg::startScan(bool recover, OstFiles ostFiles)
{
    if (!scanButton_->isEnabled() || scan_->isRunning())
        return;
    moveCommands(CommandEvent::ScanPressed);
    // Every scan starts from an empty tree and list: one after a conversion
    // shows the folders and rows it finds, never those of an earlier scan twice.
    clearViewAndStore();
    rootNode_ = tree_->InsertFolderNode(0, pstPath_);
    preview_->setMailboxPath(pstPath_);
    scan_->Start(pstPath_, rootNode_, services_.store, services_.tempDir, recover, ostFiles);
}

void CQuenbyDlg::OnScanDriverStarted()
{
    moveCommands(CommandEvent::ScanDriverStarted);
}

void CQuenbyDlg::ShowWaitWindow()
{
    scan_->ShowWaitWindow();
}

void CQuenbyDlg::CloseWaitWindow()
{
    scan_->CloseWaitWindow();
}

void CQuenbyDlg::OnScanSucceeded()
{
    moveCommands(CommandEvent::ScanSucceeded);
    tree_->setEnabled(true);
    fitListColumns();
}

void CQuenbyDlg::SetProgressPosition(int position)
{
    progress_->setTextVisible(false);
    progress_->setValue(std::clamp(position, 0, 100));
}

void CQuenbyDlg::SetConversionProgress(const ConversionPosition& position)
{
    progress_->setFormat(QStringLiteral("%1 / %2").arg(position.done).arg(position.total));
    progress_->setTextVisible(true);
    progress_->setValue(std::clamp(position.percent, 0, 100));
}

void CQuenbyDlg::OnConvert()
{
    convertTo(OutputFormat::Eml);
}

void CQuenbyDlg::convertTo(OutputFormat format)
{
    if (!convertButton_->isEnabled())
        return;
    (void)conversion_->Convert(pstPath_, services_.store, format);
}

void CQuenbyDlg::OnConvertTickedFolders()
{
    if (!convertButton_->isEnabled())
        return;
    const QStringList ticked = tree_->tickedFolderKeys();
    if (ticked.isEmpty())
        return;
    // Each ticked folder by itself: a ticked folder's unticked subfolders stay out.
    (void)conversion_->Convert(pstPath_, services_.store, OutputFormat::Eml,
                               FolderSelection{ticked, false});
}

void CQuenbyDlg::OpenFolder(const QString& path)
{
    if (services_.openExternally)
        services_.openExternally(QUrl::fromLocalFile(path));
}

void CQuenbyDlg::OnStop()
{
    switch (scan_->AskStop(this)) {
    case ScanStopAnswer::Stopped:
            clearViewAndStore();
        progress_->setValue(0);
        moveCommands(CommandEvent::ScanStopped);
        emit scanWorkerEnded();
        break;
    case ScanStopAnswer::Continued:
    case ScanStopAnswer::NotRunning:
        break;
    }
    conversion_->AskStop();
    moveCommands(CommandEvent::StopAnswered);
}

void CQuenbyDlg::OnExit()
{
    if (prompts().Ask(this, ProductCaption(), QStringLiteral("Do you want to Exit ?       "))) {
        if (services_.exitProcess) {
            // The process ends inside exitProcess; nothing after it runs.
            RemovePreviewFiles(PreviewDirectory(*services_.tempDir));
            services_.exitProcess();
        } else {
            done(QDialog::Accepted);
        }
    }
}

void CQuenbyDlg::done(int result)
{
    QDialog::done(result);
    RemovePreviewFiles(PreviewDirectory(*services_.tempDir));
}

void CQuenbyDlg::closeEvent(QCloseEvent* event)
{
    event->ignore();
    OnExit();
}

void CQuenbyDlg::OnHelpContent()
{
    const QString helpFile = startDirectory_ + QStringLiteral("/tolvane.chm");
    if (QFileInfo::exists(helpFile)) {
        if (services_.openExternally)
            services_.openExternally(QUrl::fromLocalFile(helpFile));
        return;
    }
    // No help file beside the program: the bundled guide instead.
    auto* guide = findChild<UserGuideWindow*>();
    if (!guide)
        guide = new UserGuideWindow(UserGuideAddress(), this);
    guide->show();
    guide->raise();
}

void CQuenbyDlg::OnAbout()
{
    CAboutDlg about(this);
    connect(&about, &CAboutDlg::buyNowRequested, this, &CQuenbyDlg::OnBuyNow);
    about.exec();
}

void CQuenbyDlg::OnBuyNow()
{
    // The product page is bundled with the program; the preview pane shows it.
    browser_->Navigate(ProductPageAddress());
}

bool CQuenbyDlg::handleDrag(QEvent* event, const QString& mailbox)
{
    auto* drag = static_cast<QDropEvent*>(event);
    // A mailbox is taken whenever Browse could choose one, and never handed
    // on to a control (the path's edit would take it as text, the preview
    // as a page to show).
    if (!browseButton_->isEnabled()) {
        drag->ignore();
        return true;
    }
    drag->setDropAction(Qt::CopyAction);
    drag->accept();
    if (event->type() == QEvent::Drop) {
        activateWindow();
        if (IsOfflineCacheName(mailbox))
            ScanOfflineCache(mailbox);
        else
            ChooseFile(mailbox);
    }
    return true;
}

bool CQuenbyDlg::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    const bool isDrag = type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop;
    if ((type != QEvent::KeyPress && !isDrag) || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this)
        return QDialog::eventFilter(watched, event);
    if (isDrag) {
        // Before any control (the path's edit, the preview) takes the drop as text or a page.
        if (const std::optional<QString> mailbox = DraggedMailbox(static_cast<QDropEvent*>(event)->mimeData()))
            return handleDrag(event, *mailbox);
        return QDialog::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        if (widget == tree_ || widget == tree_->viewport()) {
            // Enter on a folder lists it, like a click.
            tree_->ListCurrentNode();
            return true;
        }
        // Elsewhere Enter moves the focus on, like Tab; it never presses a button.
        focusNextChild();
        return true;
    }
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
        // Escape ends the window at once, without the exit question.
        reject();
        return true;
    }
    return QDialog::eventFilter(watched, event);
}

void CQuenbyDlg::BuildPreview()
{
    preview_->BuildPreview();
}

bool CQuenbyDlg::isScanRunning() const
{
    return scan_->isRunning();
}

bool CQuenbyDlg::isConversionRecorded() const
{
    return conversion_->isRecorded();
}

bool CQuenbyDlg::isConversionAbandoned() const
{
    return conversion_->isAbandoned();
}

bool CQuenbyDlg::hasRunningWorkers() const
{
    return scan_->isRunning() || conversion_->isRunning() || filler_->runningFills() > 0;
}

int CQuenbyDlg::runningListFills() const
{
    return filler_->runningFills();
}

LoadIDialog* CQuenbyDlg::waitWindow() const
{
    return scan_->waitWindow();
}

}  // namespace tolvane
