// The scan driver: the body of the scan worker. Opens the file, runs the
// export of the whole mailbox and tells the user how it ended.
#include "ScanDriver.h"

#include "ExportHandle.h"
#include "ItemStore.h"
#include "PffHandles.h"
#include "PrivateTempDir.h"
#include "PstSignature.h"
#include "ScanSink.h"
#include "WorkerGate.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace tolvane {

namespace {

constexpr int kAsciiCodePage = 1252;
constexpr char kExportMode = 'i';
constexpr char kExportFormat = 'a';

const QString kOpenFailedNotice = QStringLiteral(
    "Please check file use in another proess or File is highly corrupted! Please select another file OR contact "
    "support team..");
const QString kNotPstNotice = QStringLiteral("This is not a valid PST File");
const QString kScanFailedNotice =
    QStringLiteral("Scanning process failed! Please select another file OR contact support team..");
const QString kCompletedNotice = QStringLiteral("Analysis completed");

bool Abandoned(const ScanRequest& request)
{
    return request.gate != nullptr && request.gate->isAbandoned();
}

int Finish(ScanOutcome* outcome, ScanOutcome value, int result)
{
    if (outcome != nullptr)
        *outcome = value;
    return result;
}

int OpenFailed(const ScanRequest& request, ScanOutcome* outcome, ScanOutcome value)
{
    if (Abandoned(request))
        return Finish(outcome, ScanOutcome::Abandoned, 0);
    request.sink->CloseWaitWindow();
    request.sink->ShowNotice(kOpenFailedNotice);
    request.sink->RunBrowseProcedure();
    return Finish(outcome, value, 0);
}

int RunScan(const ScanRequest& request, ScanOutcome* outcome)
{
    ScanSink& sink = *request.sink;
    sink.DisableScanButton();
    sink.ShowWaitWindow();

    const QString exportRoot = QStringLiteral(".export");
    std::unique_ptr<export_handle> handle;
    if (export_handle_initialize(&handle, kExportMode) != 1)
        throw std::bad_alloc();

    const PstContent content = CheckPstContent(request.pstPath);
    if (content == PstContent::OtherContent) {
        sink.ShowNotice(kNotPstNotice);
        return OpenFailed(request, outcome, ScanOutcome::NotPst);
    }
    if (content == PstContent::NotPst)
        return OpenFailed(request, outcome, ScanOutcome::OpenFailed);

    PffFile file;
    if (!file.initialize() || !file.setAsciiCodepage(kAsciiCodePage) || !file.open(request.pstPath))
        return OpenFailed(request, outcome, ScanOutcome::OpenFailed);
    sink.CloseWaitWindow();

    handle->file = file.get();
    handle->asciiCodepage = kAsciiCodePage;
    handle->store = request.store;
    handle->sink = request.sink;
    handle->gate = request.gate;
    handle->rootNode = request.rootNode;
    handle->attachmentDirectory = AttachmentDirectory().value_or(QString());

    const int exported = export_handle_export_file(handle.get(), file.get(), exportRoot, kExportFormat);
    if (handle->abandoned || Abandoned(request))
        return Finish(outcome, ScanOutcome::Abandoned, 0);
    if (exported != 1) {
        sink.ShowNotice(kScanFailedNotice);
        sink.RunBrowseProcedure();
        return Finish(outcome, ScanOutcome::ScanFailed, 0);
    }
    file.reset();
    export_handle_free(&handle);
    // libpff's item tree of a large mailbox is hundreds of megabytes of small
    // blocks interleaved with the records; hand the freed pages back so the
    // conversion's own handle does not stack on top of them.
    ::malloc_trim(0);
    sink.ShowNotice(kCompletedNotice);
    sink.ScanSucceeded();
    return Finish(outcome, ScanOutcome::Completed, 1);
}

}  // namespace

int RunScanDriver(const ScanRequest& request, ScanOutcome* outcome)
{
    if (request.store == nullptr || request.sink == nullptr)
        return Finish(outcome, ScanOutcome::OpenFailed, 0);
    try {
        return RunScan(request, outcome);
    } catch (const std::bad_alloc&) {
        // A record that cannot be made would silently lose an item: end the
        // process, and say so in its exit status.
        request.sink->ShowNotice(QStringLiteral("Not Enough Memory"));
        std::_Exit(kOutOfMemoryExitStatus);
    }
}

}  // namespace tolvane
