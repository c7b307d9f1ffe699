// Helpers shared by the scan tests: sample lookup and a scan into a private store.
#pragma once

#include "app/cli/HeadlessScan.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
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

// Gives each test process a temporary directory of its own, so the scans'
// "Attachments" directory is not shared with other test processes that may
// remove it meanwhile.
class OwnTempDirEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        directory_ = std::make_unique<QTemporaryDir>();
        qputenv("TMPDIR", QFile::encodeName(directory_->path()));
    }
    void TearDown() override { directory_.reset(); }

private:
    std::unique_ptr<QTemporaryDir> directory_;
};
inline ::testing::Environment* const ownTempDirEnvironment =
    ::testing::AddGlobalTestEnvironment(new OwnTempDirEnvironment);

struct SinkScan {
    ScanOutcome outcome = ScanOutcome::OpenFailed;
    TreeNodeId rootNode = 0;
};

inline SinkScan ScanInto(const QString& path, ItemStore& store, const ProcessTempDir& tempDir,
                           cli::HeadlessScanSink& sink)
{
    SinkScan result;
    result.outcome = cli::RunHeadlessScan(path, store, tempDir, sink, &result.rootNode);
    return result;
}

}  // namespace tolvane::testing
