// The conversion as the window runs it: the destination question and its
// notices, the conversion job (gate, bridge, sink) handed to the conversion
// runner, the Stop question during a conversion, and the end of the job. The
// runner owns the conversion's thread; this owns what the window knows of it.
#pragma once

#include "convert/output/MailFormats.h"
#include "scan/FolderPaths.h"

#include "app/WindowServices.h"

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QWidget;

namespace tolvane {

class CQuenbyDlg;
class ItemStore;
struct ConversionJob;

class ConversionJobController : public QObject {
    Q_OBJECT
public:
    using PrepareGate = std::function<void(WorkerGate&)>;

    // window: the owner of the notices and the progress bar the sink moves.
    ConversionJobController(CQuenbyDlg* window, std::shared_ptr<ConversionRunner> runner, PrepareGate prepareGate,
                            std::function<QDateTime()> clock);
    // Nothing the conversion sends afterwards is shown or waited for.
    ~ConversionJobController() override;

    // Asks for the destination and starts the conversion of `pstPath` from
    // `store`; every refusal is told in a notice.
    // True once the destination has passed its check, whether or not the
    // conversion could then start.
    // `folders`: the folders to convert; every folder when it names none.
    [[nodiscard]] bool Convert(const QString& pstPath, ItemStore* store, OutputFormat format = OutputFormat::Eml,
                               const FolderSelection& folders = {});
    // Holds the conversion, asks whether to stop it and abandons or resumes
    // it. Asked again after an abandon, until a new conversion replaces it.
    void AskStop();

    bool isRunning() const;
    // A conversion started and not yet ended (an abandoned one stays recorded).
    bool isRecorded() const { return job_ != nullptr; }
    bool isAbandoned() const;

signals:
    // The conversion reported its end.
    void finished();

private:
    void onFinished(const ConversionJob* job);

    CQuenbyDlg* window_;
    std::shared_ptr<ConversionRunner> runner_;
    PrepareGate prepareGate_;
    std::function<QDateTime()> clock_;
    std::shared_ptr<ConversionJob> job_;  // `convertThread`
};

}  // namespace tolvane
