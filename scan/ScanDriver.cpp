// The scan driver: the body of the scan worker. Opens the file, runs the
// export of the whole mailbox and tells the user how it ended.
#include "scan/ScanDriver.h"

#include "scan/ExportHandle.h"
#include "scan/InputFile.h"
#include "scan/ItemStore.h"
#include "scan/PffHandles.h"
#include "scan/ProcessTempDir.h"
#include "scan/PstSignature.h"
#include "scan/RecoveryReport.h"
#include "scan/ScanSink.h"
#include "scan/TextDecoding.h"
#include "scan/WorkerGate.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace tolvane {

namespace {

constexpr char kExportMode = 'i';
constexpr char kExportFormat = 'a';

const QString kOpenFailedNotice = QStringLiteral(
    "Please check file use in another proess or File is highly corrupted! Please select another file OR contact "
    "support team..");
const QString kNotPstNotice = QStringLiteral("This is not a valid PST File");
const QString kScanFailedNotice =
    QStringLiteral("Scanning process failed! Please select another file OR contact support team..");
const QString kCompletedNotice = QStringLiteral("Analysis completed");
const QString kNotEnoughMemoryNotice = QStringLiteral("Not Enough Memory");

bool Abandoned(const ScanRequest& request)
{
    return request.gate != nullptr && request.gate->isAbandoned();
}

ScanOutcome OpenFailed(const ScanRequest& request, ScanOutcome value, const QString& reason = QString())
{
    if (Abandoned(request))
        return ScanOutcome::Abandoned;
    request.sink->CloseWaitWindow();
    request.sink->ShowOpenFailure(value == ScanOutcome::NoResources ? kNotEnoughMemoryNotice : kOpenFailedNotice,
                                  reason);
    request.sink->RunBrowseProcedure();
    return value;
}

// Without its private directory the scan would lose every embedded message
// and every attachment name, so it does not start: the failure notice names
// the reason.
ScanOutcome TemporaryDirectoryRefused(const ScanRequest& request, const QString& reason)
{
    if (Abandoned(request))
        return ScanOutcome::Abandoned;
    request.sink->CloseWaitWindow();
    request.sink->ShowNotice(kScanFailedNotice + QStringLiteral("\n\nThe private temporary directory cannot be used: ") +
                             reason);
    request.sink->RunBrowseProcedure();
    return ScanOutcome::ScanFailed;
}

[[noreturn]] void EndForWantOfResources(const ScanRequest& request)
{
    // A record that cannot be made would silently lose an item: end the
    // process, and say so in its exit status.
    request.sink->ShowNotice(kNotEnoughMemoryNotice);
    std::_Exit(kOutOfMemoryExitStatus);
}

ScanOutcome RunScan(const ScanRequest& request)
{
    ScanSink& sink = *request.sink;
    sink.DisableScanButton();
    sink.ShowWaitWindow();

    const QString exportRoot = QStringLiteral(".export");
    std::unique_ptr<export_handle> handle;
    if (export_handle_initialize(&handle, kExportMode) != 1)
        throw std::bad_alloc();

    // A FIFO, device or directory never reaches libpff, which would block on it or read it without end.
    const InputFileCheck input = CheckInputFile(request.pstPath, kPstHeaderBytes);
    if (input.state == InputFileState::NoResources)
        return OpenFailed(request, ScanOutcome::NoResources, input.reason);
    if (input.state != InputFileState::Readable)
        return OpenFailed(request, ScanOutcome::OpenFailed, input.reason);
    const PstContent content = ClassifyPstHeader(input.header);
    if (content == PstContent::OtherContent) {
        sink.ShowNotice(kNotPstNotice);
        return OpenFailed(request, ScanOutcome::NotPst);
    }
    if (content == PstContent::NotPst)
        return OpenFailed(request, ScanOutcome::OpenFailed);

    QString temporaryError = QStringLiteral("none was made for this process");
    const std::optional<QString> attachmentDirectory =
        request.tempDir != nullptr ? request.tempDir->attachmentDirectory(&temporaryError) : std::nullopt;
    if (!attachmentDirectory)
        return TemporaryDirectoryRefused(request, temporaryError);
    request.store->UseSpillDirectory(*request.tempDir->path());

    PffFile file;
    if (!file.initialize())
        return OpenFailed(request, ScanOutcome::NoResources,
                          QStringLiteral("not enough memory to open %1").arg(request.pstPath));
    // The file judged above is the file libpff reads, whatever the path
    // leads to by now.
    if (!file.setAsciiCodepage(kDefaultCodePage) || !file.open(request.pstPath, nullptr, input.identity)) {
        if (!file.changedReason().isEmpty())
            return OpenFailed(request, ScanOutcome::OpenFailed, file.changedReason());
        if (file.openRanOutOfResources())
            return OpenFailed(request, ScanOutcome::NoResources,
                              QStringLiteral("not enough memory to open %1").arg(request.pstPath));
        return OpenFailed(request, ScanOutcome::OpenFailed);
    }
    sink.CloseWaitWindow();
    request.store->SetMailboxIdentity(input.identity);

    handle->file = file.get();
    handle->asciiCodepage = kDefaultCodePage;
    handle->store = request.store;
    handle->sink = request.sink;
    handle->gate = request.gate;
    handle->rootNode = request.rootNode;
    handle->attachmentDirectory = *attachmentDirectory;
    handle->buildTree = request.buildTree;
    handle->keepContents = request.keepContents;

    const int exported = export_handle_export_file(handle.get(), file.get(), exportRoot, kExportFormat);
    if (handle->abandoned || Abandoned(request))
        return ScanOutcome::Abandoned;
    if (exported != 1) {
        sink.ShowNotice(kScanFailedNotice);
        sink.RunBrowseProcedure();
        return ScanOutcome::ScanFailed;
    }
    QString completed = kCompletedNotice;
    if (request.recover) {
        RecoveryReport report;
        export_handle_export_recovered_items(handle.get(), file.get(), exportRoot, kExportFormat, &report);
        if (handle->abandoned || Abandoned(request))
            return ScanOutcome::Abandoned;
        completed += QStringLiteral("\n\n") + RecoverySummaryLines(report).join(u'\n');
        request.store->SetRecoveryReport(std::move(report));
    }
    file.reset();
    export_handle_free(&handle);
    // libpff's item tree of a large mailbox is hundreds of megabytes of small
    // blocks interleaved with the records; hand the freed pages back so the
    // conversion's own handle does not stack on top of them.
    ::malloc_trim(0);
    sink.ShowNotice(completed);
    sink.ScanSucceeded();
    return ScanOutcome::Completed;
}

}  // namespace

bool IsResourceExhaustion(const std::system_error& error)
{
    const std::error_code code = error.code();
    return code == std::errc::resource_unavailable_try_again || code == std::errc::not_enough_memory ||
           code == std::errc::too_many_files_open || code == std::errc::too_many_files_open_in_system;
}

ScanOutcome RunScanDriver(const ScanRequest& request)
{
    if (request.store == nullptr || request.sink == nullptr)
        return ScanOutcome::OpenFailed;
    try {
        return RunScan(request);
    } catch (const std::bad_alloc&) {
        EndForWantOfResources(request);
    } catch (const std::system_error& error) {
        if (!IsResourceExhaustion(error))
            throw;
        EndForWantOfResources(request);
    }
}

}  // namespace tolvane
