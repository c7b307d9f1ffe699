// The main window: every control and menu, their layout, and the commands
// (Browse, Scan, Convert, Stop, Exit, Help, About, Buy Now) with the situation
// that enables them (CommandStates). The scan and the conversion are run by
// their controllers and the preview by its own; workers never touch a control:
// their changes arrive through WorkerBridges and run on the window's thread.
#pragma once

#include "app/CommandStates.h"
#include "convert/ConversionProgress.h"
#include "convert/output/MailFormats.h"
#include "model/ItemRecords.h"
#include "app/WindowServices.h"
#include "view/UserPrompts.h"

#include <QDialog>
#include <QPointer>
#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenuBar;
class QProgressBar;
class QSplitter;
class QPushButton;
class QTableView;

namespace tolvane {

class CExplorer1;
class CFolderTreeCtrl1;
class ConversionJobController;
class ItemListFiller;
class ItemListModel;
class ItemListProxy;
class LoadIDialog;
class PreviewController;
class ScanJobController;

// The bundled product page and user guide.
QString ProductPageAddress();
QString UserGuideAddress();

class CQuenbyDlg : public QDialog {
    Q_OBJECT
public:
    explicit CQuenbyDlg(WindowServices services, QWidget* parent = nullptr);
    ~CQuenbyDlg() override;

    // Commands.
    void BrowseProcedure();
    // Steps of the Browse procedure after the chooser: the file is chosen.
    void ChooseFile(const QString& path);
    void OnScan();
    // Scan, then search the file for deleted and orphan items as well.
    void OnScanWithRecovery();
    // Chooses an offline cache file (OST) and scans it at once; Browse and
    // Scan keep refusing one.
    void OnScanOfflineCache();
    // Chooses `path` as Browse would and scans it, an offline cache accepted
    // (the OST command, a dropped or opened .ost file).
    void ScanOfflineCache(const QString& path);
    void OnConvert();
    // Convert with the mail in another format (File > Convert to mbox...,
    // Convert to Maildir...): the same checks, progress and Stop.
    void convertTo(OutputFormat format);
    // Converts exactly the folders ticked in the tree (File > Convert ticked
    // folders..., the tree's context menu); the same checks, progress and Stop.
    void OnConvertTickedFolders();
    // Shows a folder in the desktop's file manager.
    void OpenFolder(const QString& path);
    void OnStop();
    void OnExit();
    void OnHelpContent();
    void OnAbout();
    void OnBuyNow();
    // Ends the window (Escape, Exit) and removes the preview files.
    void done(int result) override;

    // What the scan driver does to the window (run on the window's thread).
    void OnScanDriverStarted();
    void ShowWaitWindow();
    void CloseWaitWindow();
    void OnScanSucceeded();
    void SetProgressPosition(int position);
    // A conversion's position: the bar at its percentage, with "done / total"
    // items written on it; a scan's position (SetProgressPosition) clears the text.
    void SetConversionProgress(const ConversionPosition& position);

    // The preview of the first selected row.
    void BuildPreview();

    CommandState commandState() const { return commandState_; }
    bool isScanRunning() const;
    bool isConversionRecorded() const;
    bool isConversionAbandoned() const;
    bool hasRunningWorkers() const;
    int runningListFills() const;
    QString pstPath() const { return pstPath_; }
    // Where the window's questions, notices and choosers go.
    UserPrompts& prompts() const { return *prompts_; }
    QString startDirectory() const { return startDirectory_; }

    CFolderTreeCtrl1* folderTree() const { return tree_; }
    ItemListModel* itemListModel() const { return listModel_; }
    // What the list shows of the model: filtered and sorted.
    ItemListProxy* itemListProxy() const { return listProxy_; }
    QTableView* itemList() const { return list_; }
    CExplorer1* previewBrowser() const { return browser_; }
    ItemListFiller* listFiller() const { return filler_; }
    LoadIDialog* waitWindow() const;

signals:
    void scanWorkerEnded();
    void conversionWorkerEnded();
    void previewShown(const QString& path);
    // The previewed mail's body, read from the mailbox as the conversion reads it, is shown.
    void previewBodyShown(const QString& path);

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Scan or Scan with recovery: the same wait window, progress and Stop.
    void startScan(bool recover, OstFiles ostFiles = OstFiles::Refused);
    void createControls();
    void createMenu();
    void layOutControls();
    void applyListColumns();
    // Fits the columns to their texts once per column set.
    void fitListColumns();
    void showRowCounts();
    // A mailbox dragged over or dropped on the window.
    bool handleDrag(QEvent* event, const QString& mailbox);
    // The commands move with the window's situation; each move shows its enabled controls.
    void moveCommands(CommandEvent event);
    void showCommands();
    void clearViewAndStore();

    WindowServices services_;
    QtUserPrompts standardPrompts_;
    UserPrompts* prompts_ = nullptr;  // services_.prompts, else standardPrompts_
    // The session's say on tree building: set when a conversion is asked for,
    // cleared by Browse; a scan started while it is set builds no folder tree.
    QString pstPath_;
    QString startDirectory_;
    TreeNodeId rootNode_ = 0;
    CommandState commandState_ = CommandState::Idle;

    QMenuBar* menuBar_ = nullptr;
    QAction* openAction_ = nullptr;
    QAction* scanAction_ = nullptr;
    QAction* scanWithRecoveryAction_ = nullptr;
    QAction* scanOfflineCacheAction_ = nullptr;  // chooses and scans an OST
    QAction* convertAction_ = nullptr;
    QAction* convertTickedAction_ = nullptr;   // the ticked folders alone
    QAction* convertMboxAction_ = nullptr;     // the same conversion, mail as mbox files
    QAction* convertMaildirAction_ = nullptr;  // the same conversion, mail as a Maildir tree
    QAction* convertMboxTreeAction_ = nullptr;  // the same conversion, mail as a mail client's local folders
    QWidget* banner_ = nullptr;
    QGroupBox* fileGroup_ = nullptr;
    QLineEdit* pathEdit_ = nullptr;
    QPushButton* browseButton_ = nullptr;
    CFolderTreeCtrl1* tree_ = nullptr;
    ItemListModel* listModel_ = nullptr;
    ItemListProxy* listProxy_ = nullptr;
    QTableView* list_ = nullptr;
    QLineEdit* filterEdit_ = nullptr;
    QLabel* shownCount_ = nullptr;   // rows shown and rows in the list
    QSplitter* folderSplitter_ = nullptr;   // tree | list and preview
    QSplitter* previewSplitter_ = nullptr;  // list above the preview
    // The headings the list shows, and whether their widths were fitted.
    QStringList shownHeadings_;
    bool columnsFitted_ = false;
    bool applyingColumns_ = false;  // widths set by a new column set are not the user's
    QVector<int> fittedWidths_;
    ItemListFiller* filler_ = nullptr;
    QLabel* captionLabels_[4] = {};
    QLabel* valueLabels_[4] = {};
    CExplorer1* browser_ = nullptr;
    PreviewController* preview_ = nullptr;
    QGroupBox* progressGroup_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QPushButton* stopButton_ = nullptr;
    QPushButton* scanButton_ = nullptr;
    QPushButton* convertButton_ = nullptr;
    QPushButton* hiddenOk_ = nullptr;
    QPushButton* hiddenCancel_ = nullptr;

    std::unique_ptr<ScanJobController> scan_;
    std::unique_ptr<ConversionJobController> conversion_;
};

}  // namespace tolvane
