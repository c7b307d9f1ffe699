// Standard boxes and choosers behind UserPrompts.
#include "view/UserPrompts.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tolvane {

namespace {

class QtUserPrompts final : public UserPrompts {
public:
    bool Ask(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Question, caption, text, QMessageBox::Yes | QMessageBox::No, owner);
        box.setWindowModality(Qt::ApplicationModal);
        return box.exec() == QMessageBox::Yes;
    }

    void Notify(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    void Error(QWidget* owner, const QString& caption, const QString& text) override
    {
        QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok, owner);
        box.setWindowModality(Qt::ApplicationModal);
        box.exec();
    }

    QString ChooseFile(QWidget* owner, const QString& title, const QString& filter) override
    {
        return QFileDialog::getOpenFileName(owner, title, QString(), filter);
    }

    QString ChooseFolder(QWidget* owner, const QString& title) override
    {
        return QFileDialog::getExistingDirectory(owner, title, QString(), QFileDialog::ShowDirsOnly);
    }
};

UserPrompts* installedPrompts = nullptr;

}  // namespace

UserPrompts& userPrompts()
{
    static QtUserPrompts standard;
    return installedPrompts ? *installedPrompts : standard;
}

void setUserPrompts(UserPrompts* prompts)
{
    installedPrompts = prompts;
}

}  // namespace tolvane
