// Reads the body of the mail the preview shows, as the conversion would write
// it (stored HTML, HTML or text from the RTF body, else plain text) with the
// images its HTML refers to by "cid:", on a thread of its own. A newer request
// supersedes an older one: only the latest result is delivered, and reading
// one that nobody waits for any more is skipped.
#pragma once

#include "scan/InputFile.h"
#include "model/ItemRecords.h"
#include "view/CExplorer1.h"

#include <QHash>
#include <QObject>
#include <QString>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

namespace tolvane {

class MailboxReader;
struct MessageContent;

// What the preview shows of one mail's body.
struct PreviewBody {
    enum class Kind { None, Html, Text };
    Kind kind = Kind::None;
    QString text;                          // the HTML or the plain text
    QHash<QString, InlineImage> images;    // by content identifier, lower case
};

// The body the conversion would write for `content`, and the images of its
// HTML (none larger than `imageLimit` bytes).
PreviewBody PreviewBodyFrom(const MessageContent& content, qint64 imageLimit);

class MailBodyLoader : public QObject {
    Q_OBJECT
public:
    explicit MailBodyLoader(QObject* parent = nullptr);
    ~MailBodyLoader() override;

    // Reads the mail at `location` of the mailbox `pstPath` (the file the scan
    // read, `scanned`, unchanged, when given); the answer comes as bodyLoaded
    // with the same `request` number, unless a later Load came first.
    void Load(quint64 request, const QString& pstPath, const ItemLocation& location,
              const std::optional<FileIdentity>& scanned = std::nullopt);
    // Drops the open mailbox (a new scan may have found it changed); the next
    // Load opens it again.
    void Forget();

    // Hook for tests: runs on the reading thread just before a read starts.
    void setBeforeReadHook(std::function<void(quint64 request)> hook) { beforeRead_ = std::move(hook); }

Q_SIGNALS:
    void bodyLoaded(quint64 request, const tolvane::PreviewBody& body);

private:
    std::shared_ptr<MailboxReader> ReaderFor(const QString& pstPath, const std::optional<FileIdentity>& scanned);

    QThreadPool pool_;                  // one thread: reads run one after another
    std::atomic<quint64> latest_{0};
    std::mutex readerMutex_;            // guards reader_ and readerPath_
    std::shared_ptr<MailboxReader> reader_;
    QString readerPath_;
    std::function<void(quint64)> beforeRead_;
};

}  // namespace tolvane

Q_DECLARE_METATYPE(tolvane::PreviewBody)
