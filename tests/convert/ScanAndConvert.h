// The scan and then the conversion of a mailbox written by a test, as the
// command line runs them, with a fixed clock for the output folder's name.
#pragma once

#include "app/cli/HeadlessScan.h"
#include "convert/ConversionDriver.h"
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"

#include <QDateTime>
#include <QDir>

#include <gtest/gtest.h>

namespace tolvane::testing {

inline ConversionSummary ScanAndConvert(const QString& pstPath, const QString& destination, ItemStore& store,
                                        ProcessTempDir& tempDir, ConversionSink& sink)
{
    cli::HeadlessScanSink scanSink;
    EXPECT_EQ(cli::RunHeadlessScan(pstPath, store, tempDir, scanSink), ScanOutcome::Completed);
    QDir().mkpath(destination);
    ConversionDriver driver;
    ConversionRequest request;
    request.pstPath = pstPath;
    request.destinationPath = destination;
    request.store = &store;
    request.sink = &sink;
    request.clock = [] { return QDateTime(QDate(2011, 3, 5), QTime(9, 7)); };
    EXPECT_EQ(RefusalOf(driver.Start(request)), kStarted);
    return driver.Wait();
}

}  // namespace tolvane::testing
