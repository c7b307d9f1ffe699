// Main window.
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
#include "scan/ProcessTempDir.h"
#include "app/ScanJobController.h"
#include "app/SvgPicture.h"
#include "app/TolvaneVersion.h"
#include "app/UserGuideWindow.h"
#include "view/UserPrompts.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QGroupBox>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QTableView>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLocale>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QVBoxLayout>
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

QHBoxLayout* RowOf(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    return row;
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

void CQuenbyDlg::createControls()
{
    auto named = [](auto* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    auto* banner = named(new SvgPicture(QStringLiteral(":/tolvane/app/banner.svg"), this), "banner");
    banner->setBackdrop(QColor(0x2f, 0x7c, 0xc4));  // the banner's colour at its right edge
    banner_ = banner;
    fileGroup_ = named(new QGroupBox(QStringLiteral("Select PST File"), this), "selectPstGroup");
    pathEdit_ = named(new QLineEdit(this), "pstPathEdit");
    pathEdit_->setReadOnly(false);
    browseButton_ = named(new QPushButton(QStringLiteral("Browse..."), this), "browseButton");
    tree_ = named(new CFolderTreeCtrl1(this), "folderTree");
    tree_->setContextMenuPolicy(Qt::CustomContextMenu);

    listModel_ = new ItemListModel(this);
    listProxy_ = new ItemListProxy(listModel_, this);
    list_ = named(new QTableView(this), "itemList");
    list_->setModel(listProxy_);
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Unsorted until the user clicks a heading: rows stay in the order the
    // scan and the list fill give them.
    list_->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    list_->setSortingEnabled(true);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectItems);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    filler_ = new ItemListFiller(listModel_, *services_.store, listModel_);
    connect(listModel_, &ItemListModel::columnsReplaced, this, &CQuenbyDlg::applyListColumns);
    connect(filler_, &ItemListFiller::fillCompleted, this, [this] { fitListColumns(); });
    // Widths the user drags stay for the next folder of the same layout.
    connect(list_->horizontalHeader(), &QHeaderView::sectionResized, this, [this](int section, int, int width) {
        if (columnsFitted_ && !applyingColumns_ && section < fittedWidths_.size() && width > 0)
            fittedWidths_[section] = width;
    });

    filterEdit_ = named(new QLineEdit(this), "filterEdit");
    filterEdit_->setPlaceholderText(QStringLiteral("Filter by subject, sender or recipient (Ctrl+F)"));
    filterEdit_->setClearButtonEnabled(true);
    shownCount_ = named(new QLabel(this), "shownCount");
    connect(filterEdit_, &QLineEdit::textChanged, listProxy_, &ItemListProxy::SetFilterText);
    connect(listProxy_, &ItemListProxy::countsChanged, this, &CQuenbyDlg::showRowCounts);
    auto* find = new QShortcut(QKeySequence::Find, this);
    connect(find, &QShortcut::activated, this, [this] {
        filterEdit_->setFocus(Qt::ShortcutFocusReason);
        filterEdit_->selectAll();
    });

    static const char* const captions[] = {"From:", "Date:", "Subject:", "Attachment:"};
    static const char* const captionNames[] = {"fromCaption", "dateCaption", "subjectCaption", "attachmentCaption"};
    static const char* const valueNames[] = {"fromValue", "dateValue", "subjectValue", "attachmentValue"};
    for (int i = 0; i < 4; ++i) {
        captionLabels_[i] = named(new QLabel(QString::fromLatin1(captions[i]), this), captionNames[i]);
        valueLabels_[i] = named(new QLabel(this), valueNames[i]);
        valueLabels_[i]->setTextFormat(Qt::PlainText);
        valueLabels_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
        // A long subject is cut at the label's edge; it never widens the window.
        valueLabels_[i]->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    }
    browser_ = named(new CExplorer1(this), "previewBrowser");
    preview_ = new PreviewController(list_->selectionModel(), browser_,
                                     {valueLabels_[0], valueLabels_[1], valueLabels_[2], valueLabels_[3]},
                                     *services_.store, *services_.tempDir, this);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CQuenbyDlg::BuildPreview);
    connect(preview_, &PreviewController::previewShown, this, &CQuenbyDlg::previewShown);
    connect(preview_, &PreviewController::bodyShown, this, &CQuenbyDlg::previewBodyShown);
    progressGroup_ = named(new QGroupBox(this), "progressGroup");
    progress_ = named(new QProgressBar(this), "progressBar");
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    stopButton_ = named(new QPushButton(QStringLiteral("Stop"), this), "stopButton");
    scanButton_ = named(new QPushButton(QStringLiteral("Scan"), this), "scanButton");
    convertButton_ = named(new QPushButton(QStringLiteral("Convert"), this), "convertButton");
    hiddenOk_ = named(new QPushButton(QStringLiteral("OK"), this), "okButton");
    hiddenCancel_ = named(new QPushButton(QStringLiteral("Cancel"), this), "cancelButton");
    hiddenOk_->hide();
    hiddenCancel_->hide();
    for (QPushButton* button : {browseButton_, stopButton_, scanButton_, convertButton_, hiddenOk_, hiddenCancel_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
    }

    connect(browseButton_, &QPushButton::clicked, this, &CQuenbyDlg::BrowseProcedure);
    connect(scanButton_, &QPushButton::clicked, this, &CQuenbyDlg::OnScan);
    connect(convertButton_, &QPushButton::clicked, this, &CQuenbyDlg::OnConvert);
    connect(stopButton_, &QPushButton::clicked, this, &CQuenbyDlg::OnStop);
    connect(tree_, &CFolderTreeCtrl1::listFillRequested, this,
            [this](TreeNodeId, const QString& folderKey) { filler_->FillItemList(folderKey); });
    connect(tree_, &CFolderTreeCtrl1::ticksChanged, this, &CQuenbyDlg::showCommands);

    // Tab order follows the controls' places: path, Browse, tree, filter, list, preview, buttons.
    setTabOrder(pathEdit_, browseButton_);
    setTabOrder(browseButton_, tree_);
    setTabOrder(tree_, filterEdit_);
    setTabOrder(filterEdit_, list_);
    setTabOrder(list_, browser_);
    setTabOrder(browser_, stopButton_);
    setTabOrder(stopButton_, scanButton_);
    setTabOrder(scanButton_, convertButton_);
}

void CQuenbyDlg::layOutControls()
{
    const DialogUnits units(font());
    banner_->setMinimumHeight(units.y(27));
    banner_->setMaximumHeight(units.y(54));
    banner_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);

    auto* fileRow = RowOf({pathEdit_, browseButton_});
    browseButton_->setMinimumWidth(units.x(89));
    fileGroup_->setLayout(fileRow);

    // Under the list: From and Date on one line, Subject and Attachment on the next.
    auto* labels = new QGridLayout;
    labels->setContentsMargins(units.x(2), 0, 0, 0);
    labels->setHorizontalSpacing(units.x(3));
    for (int i = 0; i < 4; ++i) {
        labels->addWidget(captionLabels_[i], i / 2, (i % 2) * 2);
        labels->addWidget(valueLabels_[i], i / 2, (i % 2) * 2 + 1);
    }
    labels->setColumnStretch(1, 1);
    labels->setColumnStretch(3, 1);

    auto* listPane = new QWidget(this);
    listPane->setObjectName(QStringLiteral("listPane"));
    auto* listColumn = new QVBoxLayout(listPane);
    listColumn->setContentsMargins(0, 0, 0, 0);
    listColumn->addLayout(RowOf({filterEdit_, shownCount_}));
    listColumn->addWidget(list_, 1);

    auto* previewPane = new QWidget(this);
    previewPane->setObjectName(QStringLiteral("previewPane"));
    auto* previewColumn = new QVBoxLayout(previewPane);
    previewColumn->setContentsMargins(0, 0, 0, 0);
    previewColumn->addLayout(labels);
    previewColumn->addWidget(browser_, 1);

    // The list and the preview share the right side; the tree keeps its
    // width when the window grows, and both take what the user drags.
    previewSplitter_ = new QSplitter(Qt::Vertical, this);
    previewSplitter_->setObjectName(QStringLiteral("previewSplitter"));
    previewSplitter_->addWidget(listPane);
    previewSplitter_->addWidget(previewPane);
    previewSplitter_->setChildrenCollapsible(false);
    previewSplitter_->setStretchFactor(0, 2);
    previewSplitter_->setStretchFactor(1, 3);
    folderSplitter_ = new QSplitter(Qt::Horizontal, this);
    folderSplitter_->setObjectName(QStringLiteral("folderSplitter"));
    folderSplitter_->addWidget(tree_);
    folderSplitter_->addWidget(previewSplitter_);
    folderSplitter_->setChildrenCollapsible(false);
    folderSplitter_->setStretchFactor(0, 0);
    folderSplitter_->setStretchFactor(1, 1);
    tree_->setMinimumWidth(units.x(80));
    listPane->setMinimumHeight(units.y(50));
    previewPane->setMinimumHeight(units.y(50));

    auto* progressRow = RowOf({progress_});
    progressGroup_->setLayout(progressRow);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    for (QPushButton* button : {stopButton_, scanButton_, convertButton_}) {
        button->setMinimumWidth(units.x(62));
        buttons->addWidget(button);
    }
    buttons->addStretch(1);

    auto* window = new QVBoxLayout(this);
    window->setMenuBar(menuBar_);
    window->setContentsMargins(0, 0, 0, units.y(3));
    window->addWidget(banner_);
    auto* body = new QVBoxLayout;
    body->setContentsMargins(units.x(3), 0, units.x(3), 0);
    body->addWidget(fileGroup_);
    body->addWidget(folderSplitter_, 1);
    body->addWidget(progressGroup_);
    body->addLayout(buttons);
    window->addLayout(body, 1);
    // The designed proportions: the tree 151 of 673 units wide, the list
    // pane about two fifths of the right side's height.
    folderSplitter_->setSizes({units.x(151), units.x(515)});
    previewSplitter_->setSizes({units.y(110), units.y(160)});
}

void CQuenbyDlg::createMenu()
{
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);
    QMenu* file = menuBar_->addMenu(QStringLiteral("File"));
    file->setObjectName(QStringLiteral("fileMenu"));
    openAction_ = file->addAction(QStringLiteral("Open"), this, &CQuenbyDlg::BrowseProcedure);
    scanAction_ = file->addAction(QStringLiteral("Scan"), this, &CQuenbyDlg::OnScan);
    scanWithRecoveryAction_ =
        file->addAction(QStringLiteral("Scan with recovery"), this, &CQuenbyDlg::OnScanWithRecovery);
    scanWithRecoveryAction_->setToolTip(
        QStringLiteral("Scan, then search the whole file for deleted items and items whose folder is gone"));
    scanOfflineCacheAction_ = file->addAction(QStringLiteral("Scan offline cache file (OST)..."), this,
                                              &CQuenbyDlg::OnScanOfflineCache);
    scanOfflineCacheAction_->setToolTip(
        QStringLiteral("Choose the offline cache a mail client kept of a server mailbox (.ost) and scan it"));
    convertAction_ = file->addAction(QStringLiteral("Convert"), this, &CQuenbyDlg::OnConvert);
    convertTickedAction_ = file->addAction(QStringLiteral("Convert ticked folders..."), this,
                                           &CQuenbyDlg::OnConvertTickedFolders);
    convertTickedAction_->setToolTip(QStringLiteral("Convert only the folders ticked in the folder tree"));
    convertMboxAction_ = file->addAction(QStringLiteral("Convert to mbox..."), this,
                                         [this] { convertTo(OutputFormat::Mbox); });
    convertMaildirAction_ = file->addAction(QStringLiteral("Convert to Maildir..."), this,
                                            [this] { convertTo(OutputFormat::Maildir); });
    convertMboxTreeAction_ = file->addAction(QStringLiteral("Convert for Thunderbird..."), this,
                                             [this] { convertTo(OutputFormat::MboxTree); });
    convertMboxTreeAction_->setToolTip(
        QStringLiteral("Convert to mbox files laid out as Thunderbird's local folders, with each mail's state and tags"));
    QAction* exitAction = file->addAction(QStringLiteral("Exit"), this, &CQuenbyDlg::OnExit);
    QMenu* help = menuBar_->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* content = help->addAction(QStringLiteral("Content"), this, &CQuenbyDlg::OnHelpContent);
    QAction* about = help->addAction(QStringLiteral("About Tolvane"), this, &CQuenbyDlg::OnAbout);
    QAction* buy = help->addAction(QStringLiteral("Buy Now"), this, &CQuenbyDlg::OnBuyNow);
    openAction_->setObjectName(QStringLiteral("actionOpen"));
    scanAction_->setObjectName(QStringLiteral("actionScan"));
    scanWithRecoveryAction_->setObjectName(QStringLiteral("actionScanWithRecovery"));
    scanOfflineCacheAction_->setObjectName(QStringLiteral("actionScanOfflineCache"));
    convertAction_->setObjectName(QStringLiteral("actionConvert"));
    convertTickedAction_->setObjectName(QStringLiteral("actionConvertTicked"));
    convertMboxAction_->setObjectName(QStringLiteral("actionConvertMbox"));
    convertMaildirAction_->setObjectName(QStringLiteral("actionConvertMaildir"));
    convertMboxTreeAction_->setObjectName(QStringLiteral("actionConvertMboxTree"));
    exitAction->setObjectName(QStringLiteral("actionExit"));
    content->setObjectName(QStringLiteral("actionHelpContent"));
    about->setObjectName(QStringLiteral("actionAbout"));
    buy->setObjectName(QStringLiteral("actionBuyNow"));

    // The tree's own menu offers the ticked folders' conversion too.
    connect(tree_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("folderMenu"));
        menu.addAction(convertTickedAction_);
        menu.exec(tree_->viewport()->mapToGlobal(at));
    });
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

void CQuenbyDlg::removeAttachmentFolder()
{
    if (const std::optional<QString> folder = services_.tempDir->attachmentDirectory())
        QDir(*folder).removeRecursively();
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
    removeAttachmentFolder();
    const QString path = prompts().ChooseFile(this, QStringLiteral("Select File..."),
                                                  QStringLiteral("Microsoft Outlook PST File (*pst) (*.pst)"));
    if (path.isEmpty())
        return;
    ChooseFile(path);
}

void CQuenbyDlg::ChooseFile(const QString& path)
{
    removeAttachmentFolder();
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
    removeAttachmentFolder();
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
    (void)conversion_->Convert(pstPath_, services_.store, services_.tempDir, format);
}

void CQuenbyDlg::OnConvertTickedFolders()
{
    if (!convertButton_->isEnabled())
        return;
    const QStringList ticked = tree_->tickedFolderKeys();
    if (ticked.isEmpty())
        return;
    // Each ticked folder by itself: a ticked folder's unticked subfolders stay out.
    (void)conversion_->Convert(pstPath_, services_.store, services_.tempDir, OutputFormat::Eml,
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
        removeAttachmentFolder();
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
