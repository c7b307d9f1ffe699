// Standard boxes and choosers behind UserPrompts.
#include "view/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QPushButton>

namespace tolvane {

bool QtUserPrompts::Ask(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
    box.setWindowModality(Qt::ApplicationModal);
    return box.exec() == QMessageBox::Yes;
}

void QtUserPrompts::Notify(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

bool QtUserPrompts::NotifyWithOffer(QWidget* owner, const QString& caption, const QString& text, const QString& offer)
{
    QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    QPushButton* offered = box.addButton(offer, QMessageBox::ActionRole);
    offered->setObjectName(QStringLiteral("offerButton"));
    box.setDefaultButton(QMessageBox::Ok);
    box.exec();
    return box.clickedButton() == offered;
}

void QtUserPrompts::Error(QWidget* owner, const QString& caption, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
    box.setWindowModality(Qt::ApplicationModal);
    box.exec();
}

QString QtUserPrompts::ChooseFile(QWidget* owner, const QString& title, const QString& filter)
{
    return QFileDialog::getOpenFileName(owner, title, QString(), filter);
}

QString QtUserPrompts::ChooseFolder(QWidget* owner, const QString& title)
{
    return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
}

}  // namespace tolvane
