// Helpers of the GUI tests: wait for a condition while the event loop runs
// (never a fixed sleep), and scripted answers for the window's boxes.
#pragma once

#include "view/UserPrompts.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>
#include <QTest>
#include <deque>
#include <functional>

namespace tolvane::testing {

// Runs the event loop until the condition holds; false after a generous limit
// (the limit only guards against a hang, it asserts nothing about speed).
inline bool WaitUntil(const std::function<bool()>& condition, int limitMs = 60000)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QTest::qWait(5);
    }
    return true;
}

// Answers questions from a script and records everything asked and shown.
// Hand it to the window through WindowServices::prompts.
class ScriptedPrompts final : public UserPrompts {
public:
    bool Ask(QWidget*, const QString& caption, const QString& text) override
    {
        questions.push_back(text);
        captions.push_back(caption);
        if (whileAsking)
            whileAsking(text);
        if (answers.empty())
            return false;
        const bool answer = answers.front();
        answers.pop_front();
        return answer;
    }
    void Notify(QWidget*, const QString& caption, const QString& text) override
    {
        notices.push_back(text);
        captions.push_back(caption);
    }
    bool NotifyWithOffer(QWidget* owner, const QString& caption, const QString& text, const QString& offer) override
    {
        Notify(owner, caption, text);
        offers.push_back(offer);
        return takeOffer;
    }
    void Error(QWidget*, const QString&, const QString& text) override { notices.push_back(text); }
    QString ChooseFile(QWidget*, const QString& title, const QString&) override
    {
        choosers.push_back(title);
        if (files.empty())
            return QString();
        const QString file = files.front();
        files.pop_front();
        return file;
    }
    QString ChooseFolder(QWidget*, const QString& title) override
    {
        choosers.push_back(title);
        return folder;
    }

    std::deque<bool> answers;
    std::deque<QString> files;
    QString folder;
    std::function<void(const QString&)> whileAsking;
    QStringList questions;
    QStringList notices;
    QStringList offers;    // the second buttons of notices that had one
    bool takeOffer = false;
    QStringList captions;
    QStringList choosers;
};

}  // namespace tolvane::testing
