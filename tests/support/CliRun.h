// Runs tolvane-cli as a user would, for the tests of its commands, and keeps
// what it printed and how it ended.
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tolvane::testing {

struct CliRun {
    int exitCode = -1;
    bool crashed = true;  // it did not end by itself (a crash, or the time ran out)
    QString out;
    QString err;
};

inline CliRun RunCli(const QStringList& arguments, int timeoutMilliseconds = 600000)
{
    QProcess process;
    process.start(QStringLiteral(TOLVANE_BIN_DIR "/tolvane-cli"), arguments);
    CliRun run;
    if (!process.waitForFinished(timeoutMilliseconds))
        return run;
    run.crashed = process.exitStatus() != QProcess::NormalExit;
    run.exitCode = process.exitCode();
    run.out = QString::fromUtf8(process.readAllStandardOutput());
    run.err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

}  // namespace tolvane::testing
