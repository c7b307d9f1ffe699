// Main window.
#include "app/CQuenbyDlg.h"

#include "app/CAboutDlg.h"
#include "view/CExplorer1.h"
#include "view/CFolderTreeCtrl1.h"
#include "app/ConversionJobController.h"
#include "app/DialogUnits.h"
#include "view/FillItemList.h"
#include "view/ItemListModel.h"
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

enum Horizontal { Fixed, StretchWidth, MoveRight, WithList, MoveHalf };
enum Vertical { Top, StretchHeight, MoveDown, ListHeight, BelowList, PreviewHeight };

// Share of extra height that goes to the list; the rest goes to the preview.
constexpr double kListShare = 92.0 / (92.0 + 137.0);

}  // namespace

struct CQuenbyDlg::Placement {
    QWidget* widget;
    QRect base;
    int horizontal;
    int vertical;
};

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

    const DialogUnits units(font());
    baseSize_ = units.size(673, 401) + QSize(0, menuBar_->sizeHint().height());
    setMinimumSize(baseSize_ * 0.6);
    resize(baseSize_);
    placeControls();
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
    auto named = [](QWidget* widget, const char* name) {
        widget->setObjectName(QString::fromLatin1(name));
        return widget;
    };
    banner_ = named(new SvgPicture(QStringLiteral(":/tolvane/app/banner.svg"), this), "banner");
    fileGroup_ = static_cast<QGroupBox*>(named(new QGroupBox(QStringLiteral("Select PST File"), this), "selectPstGroup"));
    pathEdit_ = static_cast<QLineEdit*>(named(new QLineEdit(this), "pstPathEdit"));
    pathEdit_->setReadOnly(false);
    browseButton_ = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("Browse..."), this), "browseButton"));
    tree_ = static_cast<CFolderTreeCtrl1*>(named(new CFolderTreeCtrl1(this), "folderTree"));

    listModel_ = new ItemListModel(this);
    list_ = static_cast<QTableView*>(named(new QTableView(this), "itemList"));
    list_->setModel(listModel_);
    list_->setShowGrid(true);
    list_->verticalHeader()->hide();
    list_->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    list_->verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 4);
    list_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    list_->horizontalHeader()->setStretchLastSection(false);
    list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    list_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    list_->setSelectionBehavior(QAbstractItemView::SelectItems);
    list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    list_->setWordWrap(false);
    list_->setHorizontalScrollMode(QAbstractItemView::ScrollPerPixel);
    filler_ = new ItemListFiller(listModel_, *services_.store, listModel_);
    connect(listModel_, &ItemListModel::columnsReplaced, this, &CQuenbyDlg::applyListColumns);

    static const char* const captions[] = {"From:", "Date:", "Subject:", "Attachment:"};
    static const char* const captionNames[] = {"fromCaption", "dateCaption", "subjectCaption", "attachmentCaption"};
    static const char* const valueNames[] = {"fromValue", "dateValue", "subjectValue", "attachmentValue"};
    for (int i = 0; i < 4; ++i) {
        captionLabels_[i] = static_cast<QLabel*>(named(new QLabel(QString::fromLatin1(captions[i]), this), captionNames[i]));
        valueLabels_[i] = static_cast<QLabel*>(named(new QLabel(this), valueNames[i]));
        valueLabels_[i]->setTextFormat(Qt::PlainText);
        valueLabels_[i]->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    browser_ = static_cast<CExplorer1*>(named(new CExplorer1(this), "previewBrowser"));
    preview_ = new PreviewController(listModel_, list_->selectionModel(), browser_,
                                     {valueLabels_[0], valueLabels_[1], valueLabels_[2], valueLabels_[3]},
                                     *services_.store, *services_.tempDir, this);
    connect(list_->selectionModel(), &QItemSelectionModel::selectionChanged, this, &CQuenbyDlg::BuildPreview);
    connect(preview_, &PreviewController::previewShown, this, &CQuenbyDlg::previewShown);
    connect(preview_, &PreviewController::bodyShown, this, &CQuenbyDlg::previewBodyShown);
    progressGroup_ = static_cast<QGroupBox*>(named(new QGroupBox(this), "progressGroup"));
    progress_ = static_cast<QProgressBar*>(named(new QProgressBar(this), "progressBar"));
    progress_->setRange(0, 100);
    progress_->setValue(0);
    progress_->setTextVisible(false);
    stopButton_ = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("Stop"), this), "stopButton"));
    scanButton_ = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("Scan"), this), "scanButton"));
    convertButton_ = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("Convert"), this), "convertButton"));
    hiddenOk_ = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("OK"), this), "okButton"));
    hiddenCancel_ = static_cast<QPushButton*>(named(new QPushButton(QStringLiteral("Cancel"), this), "cancelButton"));
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

    // Tab order follows the controls' places: path, Browse, tree, list, preview, buttons.
    setTabOrder(pathEdit_, browseButton_);
    setTabOrder(browseButton_, tree_);
    setTabOrder(tree_, list_);
    setTabOrder(list_, browser_);
    setTabOrder(browser_, stopButton_);
    setTabOrder(stopButton_, scanButton_);
    setTabOrder(scanButton_, convertButton_);
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
    convertAction_ = file->addAction(QStringLiteral("Convert"), this, &CQuenbyDlg::OnConvert);
    convertMboxAction_ = file->addAction(QStringLiteral("Convert to mbox..."), this,
                                         [this] { convertTo(OutputFormat::Mbox); });
    convertMaildirAction_ = file->addAction(QStringLiteral("Convert to Maildir..."), this,
                                            [this] { convertTo(OutputFormat::Maildir); });
    QAction* exitAction = file->addAction(QStringLiteral("Exit"), this, &CQuenbyDlg::OnExit);
    QMenu* help = menuBar_->addMenu(QStringLiteral("Help"));
    help->setObjectName(QStringLiteral("helpMenu"));
    QAction* content = help->addAction(QStringLiteral("Content"), this, &CQuenbyDlg::OnHelpContent);
    QAction* about = help->addAction(QStringLiteral("About Tolvane"), this, &CQuenbyDlg::OnAbout);
    QAction* buy = help->addAction(QStringLiteral("Buy Now"), this, &CQuenbyDlg::OnBuyNow);
    openAction_->setObjectName(QStringLiteral("actionOpen"));
    scanAction_->setObjectName(QStringLiteral("actionScan"));
    scanWithRecoveryAction_->setObjectName(QStringLiteral("actionScanWithRecovery"));
    convertAction_->setObjectName(QStringLiteral("actionConvert"));
    convertMboxAction_->setObjectName(QStringLiteral("actionConvertMbox"));
    convertMaildirAction_->setObjectName(QStringLiteral("actionConvertMaildir"));
    exitAction->setObjectName(QStringLiteral("actionExit"));
    content->setObjectName(QStringLiteral("actionHelpContent"));
    about->setObjectName(QStringLiteral("actionAbout"));
    buy->setObjectName(QStringLiteral("actionBuyNow"));
}

void CQuenbyDlg::place(QWidget* widget, int x, int y, int width, int height, int horizontal, int vertical)
{
    const DialogUnits units(font());
    const int top = menuBar_->sizeHint().height();
    QRect base = units.rect(x, y, width, height);
    base.translate(0, top);
    placements_.push_back({widget, base, horizontal, vertical});
}

void CQuenbyDlg::placeControls()
{
    if (placements_.empty()) {
        place(banner_, 0, 0, 673, 54, StretchWidth, Top);
        place(fileGroup_, 3, 54, 664, 35, StretchWidth, Top);
        place(pathEdit_, 9, 65, 555, 19, StretchWidth, Top);
        place(browseButton_, 569, 64, 89, 20, MoveRight, Top);
        place(tree_, 4, 93, 151, 257, Fixed, StretchHeight);
        place(list_, 158, 93, 509, 92, StretchWidth, ListHeight);
        place(captionLabels_[0], 160, 188, 24, 10, WithList, BelowList);
        place(captionLabels_[1], 405, 189, 22, 10, WithList, BelowList);
        place(captionLabels_[2], 159, 200, 31, 10, WithList, BelowList);
        place(captionLabels_[3], 405, 200, 45, 10, WithList, BelowList);
        place(valueLabels_[0], 184, 189, 218, 10, WithList, BelowList);
        place(valueLabels_[1], 427, 189, 238, 10, WithList, BelowList);
        place(valueLabels_[2], 190, 200, 212, 10, WithList, BelowList);
        place(valueLabels_[3], 450, 200, 215, 10, WithList, BelowList);
        place(browser_, 158, 212, 508, 137, StretchWidth, PreviewHeight);
        place(progressGroup_, 2, 350, 664, 26, StretchWidth, MoveDown);
        place(progress_, 7, 358, 654, 14, StretchWidth, MoveDown);
        place(stopButton_, 225, 377, 62, 19, MoveHalf, MoveDown);
        place(scanButton_, 291, 377, 55, 19, MoveHalf, MoveDown);
        place(convertButton_, 349, 377, 66, 19, MoveHalf, MoveDown);
        place(hiddenOk_, 561, 372, 6, 6, MoveRight, MoveDown);
        place(hiddenCancel_, 569, 372, 6, 6, MoveRight, MoveDown);
    }
    menuBar_->setGeometry(0, 0, width(), menuBar_->sizeHint().height());
    // Extra (or missing) room against the designed size; the minimum size keeps it sane.
    const int dx = width() - baseSize_.width();
    const int dy = height() - baseSize_.height();
    const DialogUnits units(font());
    const int listLeft = units.x(158);
    const int listWidth = units.x(509);
    const int listExtra = static_cast<int>(dy * kListShare);
    for (const Placement& p : placements_) {
        QRect r = p.base;
        switch (p.horizontal) {
        case StretchWidth: r.setWidth(r.width() + dx); break;
        case MoveRight: r.translate(dx, 0); break;
        case MoveHalf: r.translate(dx / 2, 0); break;
        case WithList: {
            const double scale = double(listWidth + dx) / listWidth;
            r.moveLeft(listLeft + int((r.left() - listLeft) * scale));
            r.setWidth(int(r.width() * scale));
            break;
        }
        default: break;
        }
        switch (p.vertical) {
        case StretchHeight: r.setHeight(r.height() + dy); break;
        case MoveDown: r.translate(0, dy); break;
        case ListHeight: r.setHeight(r.height() + listExtra); break;
        case BelowList: r.translate(0, listExtra); break;
        case PreviewHeight: r.translate(0, listExtra); r.setHeight(r.height() + dy - listExtra); break;
        default: break;
        }
        p.widget->setGeometry(r);
    }
    // A value label starts right after its caption, however the font measures it.
    for (int i = 0; i < 4; ++i) {
        QLabel* caption = captionLabels_[i];
        caption->resize(std::max(caption->width(), caption->sizeHint().width()), caption->height());
        QRect value = valueLabels_[i]->geometry();
        const int left = std::max(value.left(), caption->geometry().right() + 4);
        value.setWidth(value.width() - (left - value.left()));
        value.moveLeft(left);
        valueLabels_[i]->setGeometry(value);
    }
}

void CQuenbyDlg::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    if (!placements_.empty())
        placeControls();
}

void CQuenbyDlg::applyListColumns()
{
    const ColumnSet& columns = listModel_->columns();
    for (int i = 0; i < columns.size(); ++i) {
        list_->setColumnHidden(i, columns[i].width == 0);
        if (columns[i].width > 0)
            list_->setColumnWidth(i, columns[i].width);
    }
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
    scanAction_->setEnabled(commands.scanItem);
    scanWithRecoveryAction_->setEnabled(commands.scanItem);
    convertAction_->setEnabled(commands.convertItem);
    convertMboxAction_->setEnabled(commands.convertItem);
    convertMaildirAction_->setEnabled(commands.convertItem);
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

void CQuenbyDlg::startScan(bool recover)
{
    if (!scanButton_->isEnabled() || scan_->isRunning())
        return;
    moveCommands(CommandEvent::ScanPressed);
    // Every scan starts from an empty tree and list: one after a conversion
    // shows the folders and rows it finds, never those of an earlier scan twice.
    clearViewAndStore();
    rootNode_ = tree_->InsertFolderNode(0, pstPath_);
    preview_->setMailboxPath(pstPath_);
    scan_->Start(pstPath_, rootNode_, services_.store, services_.tempDir, recover);
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

bool CQuenbyDlg::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return QDialog::eventFilter(watched, event);
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != this)
        return QDialog::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        // Enter moves the focus on, like Tab; it never presses a button.
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
