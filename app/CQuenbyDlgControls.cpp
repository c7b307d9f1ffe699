// Main window: its controls, their layout and its menus, built once by the
// constructor (CQuenbyDlg.cpp holds what they do).
#include "app/CQuenbyDlg.h"

#include "app/DialogUnits.h"
#include "app/PreviewController.h"
#include "app/SvgPicture.h"
#include "view/CExplorer1.h"
#include "view/CFolderTreeCtrl1.h"
#include "view/FillItemList.h"
#include "view/ItemListModel.h"
#include "view/ItemListProxy.h"

#include <QAction>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QSplitter>
#include <QTableView>
#include <QVBoxLayout>

namespace tolvane {

namespace {

QHBoxLayout* RowOf(std::initializer_list<QWidget*> widgets)
{
    auto* row = new QHBoxLayout;
    for (QWidget* widget : widgets)
        row->addWidget(widget);
    return row;
}

}  // namespace

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

}  // namespace tolvane
