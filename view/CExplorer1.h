// The preview's browser view. Shows a preview file (UTF-16LE text without a
// byte-order mark, served to the web engine with its charset) or a page by
// address. It runs no JavaScript and loads nothing from the network: a mail's
// remote images and scripts stay inert; only the navigated page itself, the
// bundled pages, inline data and the shown mail's own "cid:" images are shown. It follows no navigation it did
// not start itself: a page's refresh, links, forms and frames go nowhere.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QUrl>
#include <QWidget>

class QWebEngineView;
class QWebEngineProfile;

namespace tolvane {

class PreviewSchemeHandler;
class InlineImageHandler;
class PreviewRequestFilter;
class PreviewPage;

// An image the shown mail's HTML refers to by "cid:": its content type and bytes.
struct InlineImage {
    QByteArray contentType;
    QByteArray data;
};

class CExplorer1 : public QWidget {
    Q_OBJECT
public:
    // Must run before the QApplication is created: registers the preview
    // scheme and picks the rendering of the web view (see the .cpp).
    static void PrepareProcess();
    static void RegisterSchemes();

    explicit CExplorer1(QWidget* parent = nullptr);
    ~CExplorer1() override;

    // Target: the full path of a local file, or an address (qrc:, file:, http:, ...).
    void Navigate(const QString& target);

    // The images that "cid:" addresses of the next pages may load, keyed by
    // content identifier in lower case. Only these are served, and only
    // until the next call: a page never reaches another mail's images.
    void setInlineImages(QHash<QString, InlineImage> images);

    // The last target navigated to, as given.
    QString currentTarget() const { return currentTarget_; }
    QWebEngineView* webView() const { return view_; }

Q_SIGNALS:
    void loadFinished(bool ok);
    // A navigation the view did not start (a refresh, a link, a frame) was refused.
    void navigationRefused(const QUrl& url);
    // A "cid:" image of the page was served (content identifier as asked for).
    void inlineImageServed(const QString& contentId);

private:
    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
    PreviewPage* page_ = nullptr;
    PreviewSchemeHandler* handler_ = nullptr;
    InlineImageHandler* inlineImages_ = nullptr;
    PreviewRequestFilter* filter_ = nullptr;
    // A finished load that shows another page than the last navigated to:
    // that one is asked for again (see the .cpp); false when it is in place.
    bool TakeOverStaleLoad();

    QString currentTarget_;
    quint64 navigationCount_ = 0;
    QUrl lastPreviewUrl_;  // the last preview file's address; empty after a page by address
    int staleRetries_ = 0;  // how often it was asked for again
};

}  // namespace tolvane
