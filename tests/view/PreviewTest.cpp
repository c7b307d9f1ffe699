// Preview pages and files: labels' texts, page entries, escaping, file bytes,
// pragmas disarmed, and the browser view showing a UTF-16LE file and refusing
// every navigation it did not start.
#include "scan/TimeText.h"
#include "view/CExplorer1.h"
#include "tests/view/GuiTestSupport.h"
#include "view/ContactPreviewFields.h"
#include "view/PreviewPages.h"
#include "base/ProcessTempDir.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebEnginePage>
#include <QWebEngineScript>
#include <QWebEngineView>

#include <gtest/gtest.h>

namespace tolvane {
namespace {

QByteArray Utf16Le(const QString& text)
{
    QByteArray bytes;
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(PreviewPagesTest, MailFileNameFollowsTheBodyKindAndLabelsDropTheAttachmentFolder)
{
    MailRecord mail;
    mail.bodyKind = BodyKind::PlainText;
    EXPECT_EQ(MailPreviewFileName(mail), QStringLiteral("temp.txt"));
    mail.bodyKind = BodyKind::RichText;
    EXPECT_EQ(MailPreviewFileName(mail), QStringLiteral("temp.txt"));
    mail.bodyKind = BodyKind::Html;
    EXPECT_EQ(MailPreviewFileName(mail), QStringLiteral("temp.html"));
    mail.attachments = {QStringLiteral("/tmp/t/Attachments/a.pdf"), QStringLiteral("/tmp/t/Attachments/b.txt")};
    EXPECT_EQ(AttachmentLabelText(mail, QStringLiteral("/tmp/t/")), QStringLiteral("a.pdf ;b.txt ;"));
    mail.attachments.clear();
    EXPECT_TRUE(AttachmentLabelText(mail, QStringLiteral("/tmp/t/")).isEmpty());
}

TEST(PreviewPagesTest, HtmlBodiesLoseTheirPragmasAndTextBodiesStayAsKept)
{
    struct Case {
        BodyKind bodyKind;
        QString body;
        QString page;
    };
    const Case cases[] = {
        {BodyKind::Html, u"<META/HTTP-EQUIV=Refresh CONTENT=0><p>Http-Equivhttp-equiv, http- equiv</p>"_qs,
         u"<META/HTTP&#45;EQUIV=Refresh CONTENT=0><p>Http&#45;Equivhttp&#45;equiv, http- equiv</p>"_qs},
        {BodyKind::PlainText, u"About <meta http-equiv=refresh>"_qs, u"About <meta http-equiv=refresh>"_qs},
    };
    for (const Case& c : cases) {
        MailRecord mail;
        mail.bodyKind = c.bodyKind;
        mail.body = StoredText::fromString(c.body);
        EXPECT_EQ(MailPreviewPage(mail), c.page) << qPrintable(c.body);
    }
}

TEST(PreviewPagesTest, ContactPageListsPresentFieldsInOrderAndEscapesValues)
{
    ContactRecord contact;
    EXPECT_TRUE(ContactPreviewPage(contact).isEmpty());
    contact.surname = QStringLiteral("Lund");
    contact.givenName = QStringLiteral("Bo <script>alert(1)</script>");
    contact.nickname = QStringLiteral("B & B");
    contact.isdnNumber = QString(u""_qs);  // present but empty still gives an entry
    EXPECT_EQ(ContactPreviewPage(contact),
              QStringLiteral("<b>First Name :</b> Bo &lt;script&gt;alert(1)&lt;/script&gt;<br>"
                             "<b>isdn phone :</b> <br>"
                             "<b>Nickname:</b> B &amp; B<br>"
                             "<b>Surname :</b> Lund<br>"));
}

// Every field the page shows appears once, from the first name to the TTY/TDD phone.
TEST(PreviewPagesTest, ContactPageShowsEachFieldOnce)
{
    const auto shown = ContactPreviewFields();
    ASSERT_EQ(shown.size(), 53u);
    // A member shown twice is found already filled the second time.
    ContactRecord probe;
    for (const ContactPreviewField& field : shown) {
        EXPECT_TRUE((probe.*field.member).isNull()) << field.label;
        probe.*field.member = QLatin1String(field.label);
    }
    EXPECT_STREQ(shown.front().label, "<b>First Name :</b> ");
    EXPECT_STREQ(shown.back().label, "<b>ttytdd Phone :</b> ");
}

TEST(PreviewPagesTest, AppointmentPageAlwaysHasThreeEntries)
{
    AppointmentRecord appointment;
    appointment.startTime = FileTime{DateTimeToFiletime(QDateTime(QDate(2011, 3, 5), QTime(9, 7, 0), Qt::UTC))};
    EXPECT_EQ(AppointmentPreviewPage(appointment),
              QStringLiteral("<b>Start :</b>Mar 05, 2011 09:07:00<BR><b>End :</b><BR><b>Location :</b> <BR>"));
    appointment.location = QStringLiteral("<img src=x>");
    EXPECT_TRUE(AppointmentPreviewPage(appointment).endsWith(QStringLiteral("&lt;img src=x&gt;<BR>")));
}

TEST(PreviewFileTest, WritesUtf16LittleEndianWithoutByteOrderMarkOverReadOnlyFiles)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("temp.html"));
    const QString text = QStringLiteral("Grüße 日本 \U0001F600");
    ASSERT_TRUE(WritePreviewFile(path, QStringLiteral("an older and longer page text")));
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    ASSERT_TRUE(WritePreviewFile(path, text));
    EXPECT_EQ(ReadAll(path), Utf16Le(text));
    ASSERT_TRUE(WritePreviewFile(path, QString()));
    EXPECT_TRUE(ReadAll(path).isEmpty());
    EXPECT_FALSE(WritePreviewFile(dir.filePath(QStringLiteral("missing/temp.txt")), text));
    const ProcessTempDir tempDir;
    ASSERT_TRUE(tempDir.path().has_value()) << tempDir.path().error().reason.toStdString();
    EXPECT_EQ(PreviewDirectory(tempDir), *tempDir.path() + QLatin1Char('/'));
}

QString PageText(CExplorer1& browser)
{
    QString text;
    bool done = false;
    browser.webView()->page()->toPlainText([&](const QString& result) {
        text = result;
        done = true;
    });
    testing::WaitUntil([&] { return done; });
    return text;
}

TEST(CExplorer1Test, ShowsUtf16PreviewFilesWithoutScriptsOrRemoteContent)
{
    QTemporaryDir dir;
    CExplorer1 browser;
    browser.resize(400, 300);
    browser.show();
    int loads = 0;
    QObject::connect(&browser, &CExplorer1::loadFinished, [&](bool) { ++loads; });

    const QString html = dir.filePath(QStringLiteral("temp.html"));
    ASSERT_TRUE(WritePreviewFile(html, QStringLiteral("<p>Grüße aus Köln 日本</p>"
                                                      "<script>document.title='ran'</script>"
                                                      "<img src=\"http://127.0.0.1:9/track.gif\">")));
    browser.Navigate(html);
    ASSERT_TRUE(testing::WaitUntil([&] { return loads >= 1; }));
    EXPECT_EQ(PageText(browser).trimmed(), QStringLiteral("Grüße aus Köln 日本"));
    EXPECT_NE(browser.webView()->page()->title(), QStringLiteral("ran"));

    const QString txt = dir.filePath(QStringLiteral("temp.txt"));
    ASSERT_TRUE(WritePreviewFile(txt, QStringLiteral("{\\rtf1 <b>not bold</b> ĳ")));
    browser.Navigate(txt);
    ASSERT_TRUE(testing::WaitUntil([&] { return loads >= 2; }));
    EXPECT_EQ(PageText(browser).trimmed(), QStringLiteral("{\\rtf1 <b>not bold</b> ĳ"));
    EXPECT_EQ(browser.currentTarget(), txt);
}

// A mail's placeholder page, then its body read a moment later: whenever the
// body comes (here, each time the placeholder has started loading), the page
// that stays is the body's, never the placeholder the engine was about to show.
TEST(CExplorer1Test, TheLastPageNavigatedToIsTheOneThatStays)
{
    QTemporaryDir dir;
    CExplorer1 browser;
    browser.resize(400, 300);
    browser.show();
    int started = 0;
    QObject::connect(browser.webView(), &QWebEngineView::loadStarted, [&] { ++started; });
    const QString txt = dir.filePath(QStringLiteral("temp.txt"));
    const QString html = dir.filePath(QStringLiteral("temp.html"));
    for (int round = 0; round < 10; ++round) {
        SCOPED_TRACE(round);
        const QString body = QStringLiteral("body %1").arg(round);
        ASSERT_TRUE(WritePreviewFile(txt, QStringLiteral("placeholder %1").arg(round)));
        ASSERT_TRUE(WritePreviewFile(html, QStringLiteral("<p>%1</p>").arg(body)));
        // The engine announces no start for a navigation that replaces one
        // still loading: each round begins once the last one has ended.
        ASSERT_TRUE(testing::WaitUntil([&] { return !browser.webView()->page()->isLoading(); }));
        const int before = started;
        browser.Navigate(txt);
        ASSERT_TRUE(testing::WaitUntil([&] { return started > before; }));
        browser.Navigate(html);
        EXPECT_TRUE(testing::WaitUntil([&] { return PageText(browser).trimmed() == body; }, 10000))
            << qPrintable(PageText(browser));
    }
}

// Evaluates an expression in the page's own world, apart from the mail's
// (which runs no script); the result as text.
QString Evaluate(CExplorer1& browser, const QString& expression)
{
    QString text;
    bool done = false;
    browser.webView()->page()->runJavaScript(
        expression, QWebEngineScript::ApplicationWorld, [&](const QVariant& result) {
            text = result.toString();
            done = true;
        });
    testing::WaitUntil([&] { return done; });
    return text;
}

// The real parser reads a disarmed page: no element is left with a pragma,
// whatever quoting, comments or raw text surround it, and the values and text
// that mention the word read as before.
TEST(CExplorer1Test, DisarmedPagesKeepNoPragmaForTheParser)
{
    QTemporaryDir dir;
    CExplorer1 browser;
    browser.resize(400, 300);
    browser.show();
    QSignalSpy loads(&browser, &CExplorer1::loadFinished);

    MailRecord mail;
    mail.bodyKind = BodyKind::Html;
    mail.body = StoredText::fromString(
        u"<html><head><!-- <meta content=\" --><meta http-equiv=\"refresh\" content=\"0\"><!-- \" -->"
        "<style>/* <meta content=\" */</style><META/HTTP-EQUIV=Refresh CONTENT=0>"
        "<meta content=\"3\"http-equiv=refresh></head>"
        "<body><a title=\"http-equiv\" href=\"#\">HTTP-EQUIV</a></body></html>"_qs);
    const QString html = dir.filePath(QStringLiteral("temp.html"));
    ASSERT_TRUE(WritePreviewFile(html, MailPreviewPage(mail)));
    browser.Navigate(html);
    ASSERT_TRUE(testing::WaitUntil([&] { return !loads.isEmpty(); }));
    EXPECT_EQ(Evaluate(browser, QStringLiteral("String(document.querySelectorAll('meta').length) + '|' + "
                                               "String(document.querySelectorAll('[http-equiv]').length)")),
              QStringLiteral("3|0"));
    EXPECT_EQ(Evaluate(browser, QStringLiteral("document.querySelector('a').title + '|' + document.body.innerText")),
              QStringLiteral("http-equiv|HTTP-EQUIV"));
}

// A page written as it came, pragma and all: the view still follows none of
// the navigations the page asks for, and the page stays.
TEST(CExplorer1Test, RefusesEveryNavigationItDidNotStart)
{
    struct Case {
        const char* what;
        QString page;
    };
    const Case cases[] = {
        {"refresh of the page itself", u"<meta http-equiv=\"refresh\" content=\"0\"><p>kept</p>"_qs},
        {"refresh to another preview file",
         u"<meta http-equiv=\"refresh\" content=\"0;url=tolvane-preview:/temp.txt\"><p>kept</p>"_qs},
        {"frame of a preview file", u"<p>kept</p><iframe src=\"tolvane-preview:/temp.txt\"></iframe>"_qs},
    };
    QTemporaryDir dir;
    ASSERT_TRUE(WritePreviewFile(dir.filePath(QStringLiteral("temp.txt")), QStringLiteral("other")));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CExplorer1 browser;
        browser.resize(400, 300);
        browser.show();
        QSignalSpy loads(&browser, &CExplorer1::loadFinished);
        QSignalSpy refused(&browser, &CExplorer1::navigationRefused);
        const QString html = dir.filePath(QStringLiteral("temp.html"));
        ASSERT_TRUE(WritePreviewFile(html, c.page));
        browser.Navigate(html);
        ASSERT_TRUE(testing::WaitUntil([&] { return !loads.isEmpty(); }));
        const QUrl shown = browser.webView()->url();
        ASSERT_TRUE(testing::WaitUntil([&] { return !refused.isEmpty(); }));
        EXPECT_EQ(browser.webView()->url(), shown);
        EXPECT_EQ(PageText(browser).trimmed(), QStringLiteral("kept"));
    }
}

}  // namespace
}  // namespace tolvane
