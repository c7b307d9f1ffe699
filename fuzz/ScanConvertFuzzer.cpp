// libFuzzer target: one input file is scanned exactly as the window scans it
// (with TOLVANE_FUZZ_RECOVER=1 in the environment: as Scan with recovery does)
// and, when the scan completes, converted into a scratch destination. Beyond
// the sanitizers' own checks it aborts when anything lands outside the
// destination, so a path escape counts as a crash.
#include "scan/ItemStore.h"
#include "base/ProcessTempDir.h"
#include "scan/ScanDriver.h"
#include "app/cli/NumberingScanSink.h"

#ifdef TOLVANE_FUZZ_CONVERT
#include "convert/ConversionDriver.h"
#endif

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QHash>
#include <QString>
#include <QTemporaryDir>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

using namespace tolvane;

#ifdef TOLVANE_FUZZ_CONVERT
class FuzzConversionSink : public ConversionSink {
public:
    void SetProgress(const ConversionPosition&) override {}
    void ShowCompletion(const ConversionSummary&) override {}
};
#endif

// Scratch layout: <scratch>/input.pst and <scratch>/a/b/c/destination. A name
// that climbs out of the destination lands somewhere in between and is caught.
// The process's temporary directory serves every input's scan.
struct Scratch {
    ProcessTempDir tempDir;
    QTemporaryDir root;
    QString input;
    QString destination;
};

Scratch* scratch = nullptr;
bool recover = false;

void Fail(const char* what, const QString& path)
{
    std::fprintf(stderr, "tolvane fuzz: %s: %s\n", what, qPrintable(path));
    std::abort();
}

// Everything under the scratch root must be the input, the fixed directories
// leading to the destination, or inside the destination.
void CheckNothingEscaped()
{
    const QString rootPath = scratch->root.path();
    const QStringList allowed = {rootPath + "/input.pst", rootPath + "/a", rootPath + "/a/b", rootPath + "/a/b/c",
                                 scratch->destination};
    QDirIterator it(rootPath, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        if (allowed.contains(path) || path.startsWith(scratch->destination + u'/'))
            continue;
        Fail("written outside the destination", path);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    scratch = new Scratch;
    if (!scratch->root.isValid())
        Fail("no scratch directory", QString());
    scratch->input = scratch->root.path() + "/input.pst";
    recover = qEnvironmentVariable("TOLVANE_FUZZ_RECOVER") == QLatin1String("1");
    scratch->destination = scratch->root.path() + "/a/b/c/destination";
    // The scan resolves its relative export root against the current directory.
    QDir::setCurrent(scratch->root.path() + "/a/b/c");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    {
        QFile input(scratch->input);
        if (!input.open(QIODevice::WriteOnly | QIODevice::Truncate))
            Fail("cannot write the input", scratch->input);
        input.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    QDir().mkpath(scratch->destination);

    ItemStore store;
    NumberingScanSink scanSink;
    ShownScan scan;
    scan.request.pstPath = scratch->input;
    scan.request.store = &store;
    scan.request.tempDir = &scratch->tempDir;
    scan.request.recover = recover;
    // Offline cache files are read too, as --allow-ost and the window's OST
    // command read them: their path is the fuzzer's as well.
    scan.request.ostFiles = OstFiles::Accepted;
    scan.sink = &scanSink;
    scan.rootNode = scanSink.InsertFolderNode(0, scratch->input);
    const ScanOutcome outcome = RunShownScan(scan);

#ifdef TOLVANE_FUZZ_CONVERT
    if (outcome == ScanOutcome::Completed) {
        FuzzConversionSink conversionSink;
        ConversionRequest request;
        request.pstPath = scratch->input;
        request.destinationPath = scratch->destination;
        request.store = &store;
        request.tempDir = &scratch->tempDir;
        request.sink = &conversionSink;
        request.clock = [] { return QDateTime(QDate(2011, 3, 5), QTime(9, 7)); };
        ConversionDriver driver;
        if (driver.Start(request) == ConversionStart::Started)
            driver.Wait();
    }
#endif

    CheckNothingEscaped();
    QDir(scratch->destination).removeRecursively();
    return 0;
}
