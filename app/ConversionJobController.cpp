// The window's conversion job.
#include "app/ConversionJobController.h"

#include "frontend/ConversionText.h"

#include "app/CQuenbyDlg.h"
#include "scan/ItemStore.h"
#include "view/UserPrompts.h"
#include "view/WorkerBridge.h"
#include "scan/WorkerGate.h"

namespace tolvane {

namespace {

// The conversion sink of the window, on the conversion worker.
class WindowConversionSink final : public ConversionSink {
public:
    WindowConversionSink(CQuenbyDlg* window, std::shared_ptr<WorkerBridge> bridge, OutputFormat format,
                         std::function<void()> finished)
        : window_(window), bridge_(std::move(bridge)), format_(format), finished_(std::move(finished)) {}

    void SetProgress(const ConversionPosition& position) override
    {
        CQuenbyDlg* window = window_;
        bridge_->PostLatest([window, position] { window->SetConversionProgress(position); });
    }
    void ShowCompletion(const ConversionSummary& summary) override
    {
        CQuenbyDlg* window = window_;
        const QString text = WindowCompletionText(summary, format_);
        const QString folder = summary.outputRoot;
        bridge_->PostAndWait([window, text, folder] {
            if (folder.isEmpty()) {
                window->prompts().Notify(window, ProductCaption(), text);
                return;
            }
            if (window->prompts().NotifyWithOffer(window, ProductCaption(), text, QStringLiteral("Open folder")))
                window->OpenFolder(folder);
        });
    }
    bool WriteFromScanRecords(const QString& reason) override
    {
        CQuenbyDlg* window = window_;
        bool yes = false;
        const QString text =
            QStringLiteral("The mailbox can no longer be read (%1).\n\nWrite what the scan kept instead? Those "
                           "files will lack attachments, Cc and Bcc, e-mail addresses and the original headers, "
                           "and each will say so.")
                .arg(reason);
        bridge_->PostAndWait([window, text, &yes] { yes = window->prompts().Ask(window, ProductCaption(), text); });
        return yes;
    }
    void ConversionFinished(const ConversionSummary&) override { bridge_->Post(finished_); }

private:
    CQuenbyDlg* window_;
    std::shared_ptr<WorkerBridge> bridge_;
    OutputFormat format_;  // what the notice tells of the output
    std::function<void()> finished_;
};

}  // namespace

struct ConversionJob {
    WorkerGate gate;
    std::shared_ptr<WorkerBridge> bridge;
    std::unique_ptr<WindowConversionSink> sink;
    bool abandoned = false;
};

ConversionJobController::ConversionJobController(CQuenbyDlg* window, std::shared_ptr<ConversionRunner> runner,
                                                 PrepareGate prepareGate, std::function<QDateTime()> clock)
    : window_(window)
    , runner_(std::move(runner))
    , prepareGate_(std::move(prepareGate))
    , clock_(std::move(clock))
{
}

ConversionJobController::~ConversionJobController()
{
    if (job_)
        job_->bridge->Detach();
}

bool ConversionJobController::isRunning() const
{
    return runner_ && runner_->isRunning();
}

bool ConversionJobController::isAbandoned() const
{
    return job_ && job_->abandoned;
}

bool ConversionJobController::Convert(const QString& pstPath, ItemStore* store, OutputFormat format,
                                      const FolderSelection& folders)
{
    if (!runner_)
        return false;
    if (runner_->isRunning()) {
        // One conversion at a time: a second start is refused.
        window_->prompts().Notify(window_, ProductCaption(), QStringLiteral("A conversion is already running."));
        return false;
    }
    const QString destination =
        window_->prompts().ChooseFolder(window_, QStringLiteral("Select the Path to Save Recovered File"));
    if (destination.isNull())
        return false;
    switch (runner_->CheckDestination(destination)) {
    case DestinationCheck::Empty:
    case DestinationCheck::Missing:
        window_->prompts().Notify(window_, QString::fromLatin1(kDestinationNoticeCaption),
                             QString::fromLatin1(kDestinationNoticeText));
        return false;
    case DestinationCheck::Accepted:
        break;
    }

    auto job = std::make_shared<ConversionJob>();
    job->bridge = WorkerBridge::Create(this, &job->gate);
    const ConversionJob* raw = job.get();
    job->sink =
        std::make_unique<WindowConversionSink>(window_, job->bridge, format, [this, raw] { onFinished(raw); });
    if (prepareGate_)
        prepareGate_(job->gate);
    ConversionRequest request;
    request.pstPath = pstPath;
    request.format = format;
    request.selectedFolders = folders;
    request.destinationPath = destination;
    request.store = store;
    request.sink = job->sink.get();
    request.gate = &job->gate;
    request.clock = clock_;
    // The record of an abandoned conversion is replaced only by a new one that starts.
    const auto previous = job_;
    job_ = job;
    const ConversionStart started = runner_->Start(request);
    if (started)
        return true;
    job_ = previous;
    switch (started.error().refusal) {
    case StartRefusal::AlreadyRunning:
        window_->prompts().Notify(window_, ProductCaption(), QStringLiteral("A conversion is already running."));
        break;
    case StartRefusal::NoResources:
        window_->prompts().Notify(window_, ProductCaption(),
                             QStringLiteral("The conversion could not start: the system is short of memory or "
                                            "threads. Close other programs and try again."));
        break;
    case StartRefusal::DestinationNotWritable:
        window_->prompts().Notify(window_, ProductCaption(),
                             QStringLiteral("No output folder can be made in the chosen path (%1). "
                                            "Please select another path for saving.")
                                 .arg(started.error().reason));
        break;
    case StartRefusal::DestinationEmpty:
    case StartRefusal::DestinationMissing:
        window_->prompts().Notify(window_, QString::fromLatin1(kDestinationNoticeCaption),
                             QString::fromLatin1(kDestinationNoticeText));
        break;
    }
    return true;
}

void ConversionJobController::onFinished(const ConversionJob* job)
{
    if (job_.get() == job)
        job_.reset();
    emit finished();
}

void ConversionJobController::AskStop()
{
    const auto job = job_;
    if (!job)
        return;
    if (!job->abandoned)
        job->gate.RequestPause();
    const bool stop = window_->prompts().Ask(window_, ProductCaption(), QStringLiteral("Do you want to stop save process ?"));
    if (job->abandoned)
        return;
    if (stop) {
        job->abandoned = true;
        job->gate.Abandon();
        job->bridge->Discard();
    } else {
        job->gate.Resume();
        job->bridge->Flush();
    }
}

}  // namespace tolvane
