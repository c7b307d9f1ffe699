// The About box: the product picture, "Buy Now" (shows the product page and
// leaves the box open) and "Ok".
#pragma once

#include <QDialog>

namespace tolvane {

class CAboutDlg : public QDialog {
    Q_OBJECT
public:
    explicit CAboutDlg(QWidget* parent = nullptr);

signals:
    void buyNowRequested();
};

}  // namespace tolvane
