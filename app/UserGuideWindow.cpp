// User guide window.
#include "app/UserGuideWindow.h"

#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tolvane {

UserGuideWindow::UserGuideWindow(const QString& address, QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("userGuide"));
    setWindowTitle(QStringLiteral("Tolvane Help"));
    auto* browser = new QTextBrowser(this);
    browser->setObjectName(QStringLiteral("userGuideText"));
    browser->setOpenExternalLinks(false);
    browser->setSource(QUrl(address));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(browser);
    resize(640, 560);
}

}  // namespace tolvane
