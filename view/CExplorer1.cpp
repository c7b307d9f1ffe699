// Browser host of the preview: a private profile, a scheme that serves the
// preview file with its charset, a request filter that keeps the network out
// and a page that follows only the navigations Navigate starts.
#include "view/CExplorer1.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <QWebEngineView>
#include <functional>
#include <optional>

namespace tolvane {

namespace {

const QByteArray previewScheme = QByteArrayLiteral("tolvane-preview");
// How a mail's HTML names the images it carries (RFC 2392).
const QByteArray contentIdScheme = QByteArrayLiteral("cid");

}  // namespace

// Serves exactly the file last handed to Navigate, decoded by the engine with
// the charset we name, so UTF-16LE without a byte-order mark shows correctly.
class PreviewSchemeHandler final : public QWebEngineUrlSchemeHandler {
public:
    using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

    void setServedFile(const QString& path) { servedFile_ = path; }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const QString requested = job->requestUrl().path();
        if (servedFile_.isEmpty() || requested != QStringLiteral("/") + QFileInfo(servedFile_).fileName()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        QFile file(servedFile_);
        if (!file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(file.readAll());
        buffer->open(QIODevice::ReadOnly);
        const bool plainText = servedFile_.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive);
        job->reply(plainText ? QByteArrayLiteral("text/plain;charset=utf-16le")
                             : QByteArrayLiteral("text/html;charset=utf-16le"),
                   buffer);
    }

private:
    QString servedFile_;
};

// Serves the "cid:" images of the mail being shown, from what the window
// read of it; every other identifier is not found.
class InlineImageHandler final : public QWebEngineUrlSchemeHandler {
public:
    InlineImageHandler(QObject* parent, std::function<void(const QString&)> served)
        : QWebEngineUrlSchemeHandler(parent), served_(std::move(served)) {}

    void setImages(QHash<QString, InlineImage> images) { images_ = std::move(images); }

    void requestStarted(QWebEngineUrlRequestJob* job) override
    {
        const QString contentId = job->requestUrl().path(QUrl::FullyDecoded);
        const auto found = images_.constFind(contentId.toLower());
        if (found == images_.constEnd()) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(found->data);
        buffer->open(QIODevice::ReadOnly);
        job->reply(found->contentType, buffer);
        if (served_)
            served_(contentId);
    }

private:
    QHash<QString, InlineImage> images_;
    std::function<void(const QString&)> served_;
};

// Lets through the preview scheme, bundled pages and inline data, and the one
// address navigated to on purpose; everything else (remote images, scripts,
// style sheets, frames, links of a mail) is blocked.
class PreviewRequestFilter final : public QWebEngineUrlRequestInterceptor {
public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

    void allowAddress(const QUrl& url) { allowedAddress_ = url; }

    void interceptRequest(QWebEngineUrlRequestInfo& info) override
    {
        const QUrl url = info.requestUrl();
        const QString scheme = url.scheme().toLower();
        if (scheme == QLatin1String(previewScheme) || scheme == QLatin1String(contentIdScheme)
            || scheme == QLatin1String("qrc") || scheme == QLatin1String("data"))
            return;
        if (allowedAddress_.isValid() && url == allowedAddress_
            && info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame)
            return;
        info.block(true);
    }

private:
    QUrl allowedAddress_;
};

// Follows exactly the navigations the view starts: each Navigate arms one
// main-frame load of its address, used up by the request that starts it. A
// mail's refresh (even one that reloads the page itself), its links, forms and
// frames all ask for a navigation the view did not start and are refused.
class PreviewPage final : public QWebEnginePage {
public:
    PreviewPage(QWebEngineProfile* profile, QObject* parent, std::function<void(const QUrl&)> refused)
        : QWebEnginePage(profile, parent), refused_(std::move(refused)) {}

    void expectNavigation(const QUrl& url) { expected_ = url; }

protected:
    bool acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame) override
    {
        if (isMainFrame && expected_ && url == *expected_) {
            expected_.reset();
            return true;
        }
        if (refused_)
            refused_(url);
        return false;
    }

private:
    std::optional<QUrl> expected_;
    std::function<void(const QUrl&)> refused_;
};

void CExplorer1::PrepareProcess()
{
    RegisterSchemes();
    // Previews are still documents; the software scene graph draws them well
    // and keeps the window from being composited through OpenGL on every
    // update of the list (costly without a GPU). Users may choose otherwise.
    if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND"))
        qputenv("QT_QUICK_BACKEND", "software");
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
}

void CExplorer1::RegisterSchemes()
{
    if (QWebEngineUrlScheme::schemeByName(previewScheme).name() == previewScheme)
        return;
    QWebEngineUrlScheme scheme(previewScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
    QWebEngineUrlScheme::registerScheme(scheme);
    // Secure like the page's own scheme, so the page may load from it.
    QWebEngineUrlScheme images(contentIdScheme);
    images.setSyntax(QWebEngineUrlScheme::Syntax::Path);
    images.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::ContentSecurityPolicyIgnored);
    QWebEngineUrlScheme::registerScheme(images);
}

CExplorer1::CExplorer1(QWidget* parent)
    : QWidget(parent)
{
    // An off-the-record profile of its own: no cache or cookies on disk.
    profile_ = new QWebEngineProfile(this);
    handler_ = new PreviewSchemeHandler(this);
    filter_ = new PreviewRequestFilter(this);
    inlineImages_ = new InlineImageHandler(this, [this](const QString& contentId) { emit inlineImageServed(contentId); });
    profile_->installUrlSchemeHandler(previewScheme, handler_);
    profile_->installUrlSchemeHandler(contentIdScheme, inlineImages_);
    profile_->setUrlRequestInterceptor(filter_);
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);

    QWebEngineSettings* settings = profile_->settings();
    settings->setAttribute(QWebEngineSettings::JavascriptEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessFileUrls, false);
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);

    view_ = new QWebEngineView(this);
    page_ = new PreviewPage(profile_, view_, [this](const QUrl& url) { emit navigationRefused(url); });
    view_->setPage(page_);
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    connect(view_, &QWebEngineView::loadFinished, this, [this](bool ok) {
        if (!TakeOverStaleLoad())
            emit loadFinished(ok);
    });
}

bool CExplorer1::TakeOverStaleLoad()
{
    // The engine may drop a navigation started while the one before it was
    // about to be shown, and show that older page instead: a mail's
    // placeholder text, say, in place of its body read a moment later. The
    // page shown is always the one navigated to last, so that one is asked
    // for again (a few times at most: a page that never shows stays off).
    constexpr int kMaxStaleRetries = 3;
    if (lastPreviewUrl_.isEmpty() || view_->url() == lastPreviewUrl_ || staleRetries_ >= kMaxStaleRetries)
        return false;
    ++staleRetries_;
    page_->expectNavigation(lastPreviewUrl_);
    view_->setUrl(lastPreviewUrl_);
    return true;
}

CExplorer1::~CExplorer1()
{
    // The page must go before the profile it uses.
    delete view_;
    view_ = nullptr;
}

void CExplorer1::setInlineImages(QHash<QString, InlineImage> images)
{
    inlineImages_->setImages(std::move(images));
}

void CExplorer1::Navigate(const QString& target)
{
    currentTarget_ = target;
    ++navigationCount_;
    const QFileInfo file(target);
    if (file.isAbsolute() && !target.contains(QStringLiteral("://"))) {
        handler_->setServedFile(file.absoluteFilePath());
        QUrl url;
        url.setScheme(QString::fromLatin1(previewScheme));
        url.setPath(QStringLiteral("/") + file.fileName());
        // A fresh query each time, so the same file name is loaded again.
        url.setQuery(QStringLiteral("n=%1").arg(navigationCount_));
        lastPreviewUrl_ = url;
        staleRetries_ = 0;
        page_->expectNavigation(url);
        view_->setUrl(url);
        return;
    }
    lastPreviewUrl_.clear();
    const QUrl url = QUrl::fromUserInput(target);
    filter_->allowAddress(url);
    page_->expectNavigation(url);
    view_->setUrl(url);
}

}  // namespace tolvane
