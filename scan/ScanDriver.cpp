// The scan driver: the body of the scan worker. Opens the file, runs the
// walk of the whole mailbox and says how it ended.
#include "scan/ScanDriver.h"

#include "scan/ExportHandle.h"
#include "scan/InputFile.h"
#include "scan/ItemStore.h"
#include "scan/PffHandles.h"
#include "base/ProcessTempDir.h"
#include "scan/PstSignature.h"
#include "scan/RecoveryReport.h"
#include "scan/ScanEvents.h"
#include "scan/TextDecoding.h"
#include "scan/WorkerGate.h"

#include <malloc.h>

#include <new>

namespace tolvane {

namespace {

bool Abandoned(const ScanRequest& request)
{
    return request.gate != nullptr && request.gate->isAbandoned();
}

ScanResult Ended(const ScanRequest& request, ScanOutcome outcome, ScanFailure failure = ScanFailure::None,
                 const QString& reason = QString())
{
    if (Abandoned(request))
        return ScanResult{ScanOutcome::Abandoned, ScanFailure::None, QString()};
    return ScanResult{outcome, failure, reason};
}

ScanResult WantOfResources(const ScanRequest& request)
{
    // A record that cannot be made would silently lose an item: the scan
    // ends here and says why; the front end ends the process.
    if (request.events != nullptr)
        request.events->ResourcesExhausted();
    return ScanResult{ScanOutcome::NoResources, ScanFailure::ResourcesExhausted, QString()};
}

ScanResult RunScan(const ScanRequest& request)
{
    const QString exportRoot = QStringLiteral(".export");
    std::unique_ptr<export_handle> handle;
    if (export_handle_initialize(&handle) != WalkStep::Done)
        return WantOfResources(request);

    // A FIFO, device or directory never reaches libpff, which would block on it or read it without end.
    const InputFileCheck input = CheckInputFile(request.pstPath, kPstHeaderBytes + 2);
    if (input.state == InputFileState::NoResources)
        return Ended(request, ScanOutcome::NoResources, ScanFailure::None, input.reason);
    if (input.state != InputFileState::Readable)
        return Ended(request, ScanOutcome::OpenFailed, ScanFailure::None, input.reason);
    const PstContent content = ClassifyPstHeader(input.header);
    const bool ostAccepted = content == PstContent::Ost && request.ostFiles == OstFiles::Accepted;
    if ((content == PstContent::Ost && !ostAccepted) || content == PstContent::OtherContent)
        return Ended(request, ScanOutcome::NotPst);
    if (content == PstContent::NotPst)
        return Ended(request, ScanOutcome::OpenFailed);

    // Without its private directory the scan could not set large bodies
    // aside, so it does not start.
    if (request.tempDir == nullptr || !request.tempDir->path())
        return Ended(request, ScanOutcome::ScanFailed, ScanFailure::TemporaryDirectoryRefused,
                     request.tempDir != nullptr ? request.tempDir->path().error().reason
                                                : QStringLiteral("none was made for this process"));
    request.store->UseSpillDirectory(*request.tempDir->path());

    const QString noMemory = QStringLiteral("not enough memory to open %1").arg(request.pstPath);
    PffFile file;
    if (!file.initialize())
        return Ended(request, ScanOutcome::NoResources, ScanFailure::None, noMemory);
    // The file judged above is the file libpff reads, whatever the path
    // leads to by now.
    if (!file.setAsciiCodepage(kDefaultCodePage) || !file.open(request.pstPath, nullptr, input.identity)) {
        if (!file.changedReason().isEmpty())
            return Ended(request, ScanOutcome::OpenFailed, ScanFailure::None, file.changedReason());
        if (file.openRanOutOfResources())
            return Ended(request, ScanOutcome::NoResources, ScanFailure::None, noMemory);
        return Ended(request, ScanOutcome::OpenFailed);
    }
    if (request.events != nullptr)
        request.events->MailboxOpened();
    request.store->SetMailboxIdentity(input.identity);

    handle->asciiCodepage = kDefaultCodePage;
    handle->store = request.store;
    handle->events = request.events;
    handle->gate = request.gate;
    handle->mailboxPath = request.pstPath;
    // The records name attachments as files of an "Attachments" folder in
    // the process's directory, as they always have; nothing is made there.
    handle->attachmentNamesRoot = *request.tempDir->path() + QStringLiteral("/Attachments");
    handle->itemDetail = request.itemDetail;

    const WalkResult walked = export_handle_export_file(handle.get(), file.get(), exportRoot);
    if ((!walked && walked.error().kind == WalkStopKind::Abandoned) || Abandoned(request))
        return Ended(request, ScanOutcome::Abandoned);
    if (!walked)
        return ScanResult{ScanOutcome::ScanFailed, ScanFailure::WalkFailed, QString()};
    // Every mailbox has its top folder. A file in the 4 KiB-page layout of
    // newer offline caches that gives none was not understood: say so rather
    // than show an empty mailbox.
    if (ReadPstHeaderFacts(input.header).formatVersion == kFourKiBPageFormatVersion
        && request.store->folderNodes().empty())
        return ScanResult{ScanOutcome::ScanFailed, ScanFailure::WalkFailed, QString()};
    if (request.recover) {
        RecoveryReport report;
        const WalkResult recovered = export_handle_export_recovered_items(handle.get(), file.get(), exportRoot, &report);
        if (!recovered || Abandoned(request))
            return Ended(request, ScanOutcome::Abandoned);
        request.store->SetRecoveryReport(std::move(report));
    }
    file.reset();
    export_handle_free(&handle);
    // libpff's item tree of a large mailbox is hundreds of megabytes of small
    // blocks interleaved with the records; hand the freed pages back so the
    // conversion's own handle does not stack on top of them.
    ::malloc_trim(0);
    return ScanResult{ScanOutcome::Completed, ScanFailure::None, QString()};
}

}  // namespace

bool IsResourceExhaustion(const std::system_error& error)
{
    const std::error_code code = error.code();
    return code == std::errc::resource_unavailable_try_again || code == std::errc::not_enough_memory ||
           code == std::errc::too_many_files_open || code == std::errc::too_many_files_open_in_system;
}

ScanResult RunScanDriver(const ScanRequest& request)
{
    if (request.store == nullptr)
        return ScanResult{ScanOutcome::OpenFailed, ScanFailure::None, QString()};
    try {
        return RunScan(request);
    } catch (const std::bad_alloc&) {
        return WantOfResources(request);
    } catch (const std::system_error& error) {
        if (!IsResourceExhaustion(error))
            throw;
        return WantOfResources(request);
    }
}

}  // namespace tolvane
