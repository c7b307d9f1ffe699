// The main window with the real engine behind it, for the tests that drive
// it as a user would: show it, scan a mailbox, click a folder, take a picture.
#pragma once

#include "app/CQuenbyDlg.h"
#include "app/WindowServices.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "tests/view/GuiTestSupport.h"
#include "view/CFolderTreeCtrl1.h"
#include "view/FillItemList.h"

#include <QCoreApplication>
#include <QDir>
#include <QGuiApplication>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <functional>
#include <memory>
#include <gtest/gtest.h>

namespace tolvane::testing {

inline QString ScreenshotPath(const QString& name)
{
    const QString dir = QStringLiteral(TOLVANE_BIN_DIR "/../screenshots");
    QDir().mkpath(dir);
    return dir + QLatin1Char('/') + name;
}

// On a real X display the web view's pixels are only in the X window, so the
// picture is taken from there; elsewhere the widgets paint themselves.
inline void Screenshot(CQuenbyDlg& window, const QString& name)
{
    const QString path = ScreenshotPath(name);
    // TOLVANE_X_SCREENSHOTS=1 (under xvfb-run with the xcb platform) takes real
    // pixels; the web view paints asynchronously, so that mode gives it a moment.
    if (qEnvironmentVariableIntValue("TOLVANE_X_SCREENSHOTS") == 1
        && QGuiApplication::platformName() == QStringLiteral("xcb")
        && !QStandardPaths::findExecutable(QStringLiteral("import")).isEmpty()) {
        QTest::qWait(1500);
        if (QProcess::execute(QStringLiteral("import"),
                              {QStringLiteral("-window"), QString::number(window.winId()), path}) == 0)
            return;
    }
    window.grab().save(path);
}

// Lets the browser finish painting before a screenshot.
inline void Settle(CQuenbyDlg& window, int loadsBefore, const int& loads)
{
    WaitUntil([&] { return loads > loadsBefore; }, 20000);
    for (int i = 0; i < 30; ++i)
        QCoreApplication::processEvents();
    window.repaint();
}

// A shown main window with the real engine behind it, on a record store and
// a temporary directory of its own, which outlive the window.
struct RealWindow {
    ProcessTempDir tempDir;
    ItemStore store;
    std::unique_ptr<CQuenbyDlg> window;
};

// `openExternally`: what the window opens on the desktop; none: nothing.
inline std::unique_ptr<RealWindow> ShowRealWindow(UserPrompts& prompts,
                                                  std::function<bool(const QUrl&)> openExternally = {})
{
    auto session = std::make_unique<RealWindow>();
    WindowServices services = DefaultWindowServices(session->store, session->tempDir);
    services.prompts = &prompts;
    services.exitProcess = [] {};
    services.openExternally = openExternally ? std::move(openExternally) : [](const QUrl&) { return false; };
    session->window = std::make_unique<CQuenbyDlg>(services);
    session->window->resize(1100, 700);
    session->window->show();
    return session;
}

// Chooses `path` as the Browse procedure would and runs Scan to its end.
inline void ScanInWindow(CQuenbyDlg& window, const QString& path)
{
    window.ChooseFile(path);
    QSignalSpy scanEnded(&window, &CQuenbyDlg::scanWorkerEnded);
    window.findChild<QPushButton*>(QStringLiteral("scanButton"))->click();
    ASSERT_TRUE(WaitUntil([&] { return !scanEnded.isEmpty(); }));
}

// Clicks the folder named `folder` in the tree and waits for its list.
inline void ClickFolder(CQuenbyDlg& window, const QString& folder)
{
    const auto found = window.folderTree()->findItems(folder, Qt::MatchExactly | Qt::MatchRecursive);
    ASSERT_FALSE(found.isEmpty()) << qPrintable(folder);
    QSignalSpy filled(window.listFiller(), &ItemListFiller::fillCompleted);
    window.folderTree()->scrollToItem(found.first());
    const QRect row = window.folderTree()->visualItemRect(found.first());
    QTest::mouseClick(window.folderTree()->viewport(), Qt::LeftButton, {}, QPoint(row.right() - 3, row.center().y()));
    ASSERT_TRUE(WaitUntil([&] { return !filled.isEmpty(); }));
}

}  // namespace tolvane::testing
