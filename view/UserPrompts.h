// Every question, notice and chooser the window shows goes through this one
// interface, so tests can answer them and the worker threads never touch
// widgets. The window is handed one (WindowServices); QtUserPrompts uses the
// toolkit's standard boxes.
#pragma once

#include <QString>

class QWidget;

namespace tolvane {

class UserPrompts {
public:
    virtual ~UserPrompts() = default;

    // Question with Yes and No; true only for Yes.
    virtual bool Ask(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Notice with an information icon and OK.
    virtual void Notify(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Notice with OK and a second button offering `offer` ("Open folder");
    // true when the user took the offer.
    virtual bool NotifyWithOffer(QWidget* owner, const QString& caption, const QString& text, const QString& offer) = 0;
    // Error box (fatal conditions only).
    virtual void Error(QWidget* owner, const QString& caption, const QString& text) = 0;
    // Open-file chooser; an empty string when cancelled.
    virtual QString ChooseFile(QWidget* owner, const QString& title, const QString& filter) = 0;
    // Folder chooser; null when cancelled, empty when the choice has no path.
    virtual QString ChooseFolder(QWidget* owner, const QString& title) = 0;
};

// The toolkit's standard message boxes and file choosers.
class QtUserPrompts final : public UserPrompts {
public:
    bool Ask(QWidget* owner, const QString& caption, const QString& text) override;
    void Notify(QWidget* owner, const QString& caption, const QString& text) override;
    bool NotifyWithOffer(QWidget* owner, const QString& caption, const QString& text, const QString& offer) override;
    void Error(QWidget* owner, const QString& caption, const QString& text) override;
    QString ChooseFile(QWidget* owner, const QString& title, const QString& filter) override;
    QString ChooseFolder(QWidget* owner, const QString& title) override;
};

// The caption of the application's boxes.
inline QString ProductCaption() { return QStringLiteral("Tolvane"); }

}  // namespace tolvane
