// Wait window.
#include "app/LoadIDialog.h"

#include "app/DialogUnits.h"

#include <QGuiApplication>
#include <QLabel>
#include <QScreen>

namespace tolvane {

LoadIDialog::LoadIDialog()
    : QDialog(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint)
{
    setObjectName(QStringLiteral("waitWindow"));
    const DialogUnits units(font());
    resize(units.size(231, 67));
    auto* label = new QLabel(QStringLiteral("Please Wait while pst file is analysis..."), this);
    label->setObjectName(QStringLiteral("waitText"));
    label->setGeometry(units.rect(39, 25, 124 + 40, 16));
    setAttribute(Qt::WA_ShowWithoutActivating);
    setStyleSheet(QStringLiteral("QDialog { border: 1px solid palette(dark); }"));
}

void LoadIDialog::ShowCentred()
{
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.center() - rect().center());
    }
    show();
}

}  // namespace tolvane
