// Helpers shared by the scan tests: sample lookup and a scan into a private store.
#pragma once

#include "HeadlessScan.h"
#include "ItemStore.h"

#include <QDir>
#include <QFileInfo>
#include <QString>

#include <gtest/gtest.h>

#include <ostream>

// Readable QString values in failure messages.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tolvane::testing {

inline QString SamplePath(const char* fileName)
{
    return QDir::cleanPath(QDir(QStringLiteral(TOLVANE_SAMPLES_DIR)).absoluteFilePath(QString::fromUtf8(fileName)));
}

// Skips the calling test when the sample is not there.
#define TOLVANE_REQUIRE_SAMPLE(path)                                                           \
    do {                                                                                       \
        if (!QFileInfo::exists(path))                                                          \
            GTEST_SKIP() << "sample file not present: " << qPrintable(path)                    \
                         << " (the real PST samples live in " TOLVANE_SAMPLES_DIR ")";          \
    } while (false)

struct ScanResult {
    ScanOutcome outcome = ScanOutcome::OpenFailed;
    TreeNodeId rootNode = 0;
};

inline ScanResult ScanInto(const QString& path, ItemStore& store, cli::HeadlessScanSink& sink)
{
    ScanResult result;
    result.outcome = cli::RunHeadlessScan(path, store, sink, &result.rootNode);
    return result;
}

}  // namespace tolvane::testing
