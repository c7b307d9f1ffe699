// About box.
#include "app/CAboutDlg.h"

#include "app/DialogUnits.h"
#include "app/SvgPicture.h"
#include "frontend/TolvaneVersion.h"

#include <QPushButton>

namespace tolvane {

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("aboutBox"));
    setWindowTitle(QStringLiteral("Tolvane ") + QLatin1String(kProductVersion));
    const DialogUnits units(font());
    setFixedSize(units.size(350, 183));
    auto* picture = new SvgPicture(QStringLiteral(":/tolvane/app/about.svg"), this);
    picture->setObjectName(QStringLiteral("aboutPicture"));
    picture->setGeometry(units.rect(0, 7, 350, 176));
    auto* buyNow = new QPushButton(QStringLiteral("Buy Now"), this);
    buyNow->setObjectName(QStringLiteral("aboutBuyNowButton"));
    buyNow->setGeometry(units.rect(134, 161, 50, 14));
    buyNow->setDefault(true);
    auto* ok = new QPushButton(QStringLiteral("Ok"), this);
    ok->setObjectName(QStringLiteral("aboutOkButton"));
    ok->setGeometry(units.rect(187, 162, 50, 14));
    connect(buyNow, &QPushButton::clicked, this, &CAboutDlg::buyNowRequested);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
}

}  // namespace tolvane
